-- The soak mod (bench/soak.sh): every frame 10,000 sprites and text, samples
-- played twice a second and a looping stream, a save written and read back
-- every 2 seconds, and a line whenever what the rewritten files show changes.
-- This script runs again at every reload: its state lives in the global
-- `soak`, made once.
require("part")

if not soak then
  soak = {frames = 0, clock = 0, next_save = 2, next_sample = 0.5, next_beat = 10, samples = 0,
          saves = 0, save_errors = 0, font_w = -1}
  print("soak: start")
end

function _init()
  print("soak: init")
end

-- The save holds a counter and about 4 KiB that change with it.
local function soak_save()
  soak.saves = soak.saves + 1
  local text = "save " .. soak.saves .. "\n" .. string.rep(string.format("%08x", soak.saves * 2654435761 % 4294967296), 512)
  qel_file_save("soak_save.txt", text)
  local back = qel_file_load("soak_save.txt")
  if back ~= text then
    soak.save_errors = soak.save_errors + 1
    print("soak: save " .. soak.saves .. " read back " .. #back .. " bytes of " .. #text)
  end
end

function _loop(t)
  soak.clock = soak.clock + t
  qel_stream_play("music.ogg", 0.4)
  if soak.clock >= soak.next_sample then
    soak.next_sample = soak.clock + 0.5
    soak.samples = soak.samples + 1
    qel_sample_play(soak.samples % 3 == 0 and "chime.ogg" or "click.wav", 0.5, 0)
  end
  if soak.clock >= soak.next_save then
    soak.next_save = soak.clock + 2
    soak_save()
  end
  -- The font's glyph width shows which version of its file is read.
  local w = qel_font_size("soakfont", 16, "soak")
  if w ~= soak.font_w then
    soak.font_w = w
    print("soak: font width " .. w)
  end
  if soak.clock >= soak.next_beat then
    soak.next_beat = soak.clock + 10
    print(string.format("soak: beat clock=%.0f frames=%d saves=%d save_errors=%d samples=%d part=%s",
                        soak.clock, soak.frames, soak.saves, soak.save_errors, soak.samples, soak_part or "?"))
  end
end

function _paint()
  soak.frames = soak.frames + 1
  qel_view_set(0, 0, 640, 360)
  local tint = soak_tint and soak_tint() or 0xFFFFFF
  local shift = soak.frames % 64 * 0.1
  -- One picture after the other, as a game batches its sprites: the software
  -- GL driver keeps a copy of its texture state for every change of picture
  -- within a frame (some 20 KiB each), so sprites alternating between two
  -- pictures would have it hold hundreds of MiB per frame.
  for i = 0, 9999, 2 do
    qel_image_draw("sprite", (i % 100) * 6.4 + shift, math.floor(i / 100) * 3.6, 6, 4, 0, 0, 0, tint, 1)
  end
  for i = 1, 9999, 2 do
    qel_image_draw("tile", (i % 100) * 6.4 + shift, math.floor(i / 100) * 3.6, 6, 4)
  end
  qel_image_draw("sprite", 560, 300, 0, 0)
  qel_font_draw("soakfont", 16, "soak frame " .. soak.frames, 8, 300, 0, -1, tint, 1)
  qel_font_draw("console", 24, string.format("%.0f s, %d saves", soak.clock, soak.saves), 8, 320, 0, -1, 0xFFFFFF, 1)
end

function _event(e)
  if e.type == "keydown" and e.name ~= "" then
    print("soak: event keydown " .. e.name)
    if e.name == "Escape" then qel_ext_call("exit") end
  end
end
