-- The engine script: runs first in every new Lua state, before the mod.
-- The engine calls these four globals; a mod defines the ones it needs.
function _init() end
function _loop(t) end
function _event(e) end
function _paint() end
