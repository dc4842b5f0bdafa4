-- The demo mod: a 320 x 240 logical view that scales with the window, pixel
-- pictures magnified without blur, bouncing balls with shadows, text, a click
-- sound, and the last input event on screen.
-- Click to add a ball; Ctrl+F toggles fullscreen; Ctrl+Q quits.

-- A texture takes the filter in force when it loads: set it before any image.
qel_params_set("filter", "nearest")

W, H = 320, 240
FLOOR = H - 32  -- the top of the ground
MAX_BALLS = 24
balls = balls or {}
last = last or "none yet"
clock = clock or 0

local function add_ball(x, y)
  local a = #balls * 2.4
  balls[#balls + 1] = { x = x, y = math.min(y, FLOOR - 8), vx = math.cos(a) * 70, vy = -60 }
  if #balls > MAX_BALLS then table.remove(balls, 1) end
end

function _init()
  add_ball(70, 60)
  add_ball(160, 100)
  add_ball(250, 40)
end

function _event(e)
  if e.type == "down" then
    qel_sample_play("demo_click", 0.8)
    add_ball(e.x, e.y)
  end
  if e.type == "keydown" and e.text ~= "" then
    last = "typed '" .. e.text .. "'"
  elseif e.type == "keydown" or e.type == "keyup" then
    last = e.type .. " " .. e.name
  elseif e.type == "down" or e.type == "up" or e.type == "wheel" then
    last = string.format("%s at %d, %d", e.type, e.x, e.y)
  elseif e.type == "resize" then
    last = string.format("resize to %d x %d", e.w, e.h)
  elseif e.type ~= "?" and e.type ~= "motion" and e.type:sub(1, 5) ~= "mouse" then
    last = e.type
  end
end

function _loop(t)
  clock = clock + t
  for _, b in ipairs(balls) do
    b.vy = b.vy + 300 * t
    b.x = b.x + b.vx * t
    b.y = b.y + b.vy * t
    if b.x < 8 then b.x, b.vx = 8, math.abs(b.vx) end
    if b.x > W - 8 then b.x, b.vx = W - 8, -math.abs(b.vx) end
    if b.y > FLOOR - 8 then
      b.y, b.vy = FLOOR - 8, -math.abs(b.vy) * 0.8
      -- A ball that has come to rest jumps again.
      if b.vy > -60 then b.vy = -230 end
    end
  end
end

function _paint()
  qel_view_set(0, 0, W, H)
  for ty = 0, FLOOR - 1, 16 do
    for tx = 0, W - 1, 16 do
      qel_image_draw("demo_tile", tx, ty, 16, 16)
    end
  end
  for tx = 0, W - 1, 16 do
    qel_image_draw("demo_ground", tx, FLOOR, 16, 32)
  end
  -- Shadows: the ball in black, flattened, smaller and fainter the higher it is.
  for _, b in ipairs(balls) do
    local s = math.max(0.3, 1 - (FLOOR - 8 - b.y) / 160)
    qel_image_draw("demo_ball", b.x, FLOOR + 1, 16 * s, 4, 8 * s, 2, 0, 0x000000, 0.8 * s)
  end
  for _, b in ipairs(balls) do
    qel_image_draw("demo_ball", b.x, b.y, 16, 16, 8, 8)
  end
  -- A darkened band behind the title: the tile in black at half strength.
  qel_image_draw("demo_tile", 0, 0, W, 38, 0, 0, 0, 0x000000, 0.5)
  local pulse = 0.8 + 0.2 * math.sin(clock * 3)
  qel_font_draw("console", 12, "borlix2 demo", 0, 4, W, 0, 0xFFD070, pulse)
  qel_font_draw("console", 8, "click: a ball - Ctrl+F: fullscreen - Ctrl+Q: quit", 0, 24, W, 0, 0xB0C0D0)
  qel_font_draw("console", 8, "last input: " .. last, 6, FLOOR + 14, 0, -1, 0xFFFFFF)
end
