-- The demo mod: a 320 x 240 logical view that scales with the window, a
-- tiled floor, bouncing balls, text, a click sound, and the last input event.
-- Click to add a ball; Ctrl+F toggles fullscreen; Ctrl+Q quits.

W, H = 320, 240
balls = balls or {}
last = last or "no input yet"
clock = clock or 0

local function add_ball(x, y)
  local a = #balls * 2.4
  balls[#balls + 1] = { x = x, y = y, vx = math.cos(a) * 70, vy = math.sin(a) * 70 - 40 }
end

function _init()
  add_ball(160, 80)
  add_ball(60, 150)
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
  elseif e.type == "down" or e.type == "motion" or e.type == "up" or e.type == "wheel" then
    last = string.format("%s at %d, %d", e.type, e.x, e.y)
  elseif e.type == "resize" then
    last = string.format("resize to %d x %d", e.w, e.h)
  elseif e.type ~= "?" and e.type:sub(1, 5) ~= "mouse" then
    last = e.type
  end
end

function _loop(t)
  clock = clock + t
  for _, b in ipairs(balls) do
    b.vy = b.vy + 160 * t
    b.x = b.x + b.vx * t
    b.y = b.y + b.vy * t
    if b.x < 8 then b.x, b.vx = 8, math.abs(b.vx) end
    if b.x > W - 8 then b.x, b.vx = W - 8, -math.abs(b.vx) end
    if b.y > H - 40 then b.y, b.vy = H - 40, -math.abs(b.vy) * 0.9 end
  end
end

function _paint()
  qel_view_set(0, 0, W, H)
  for ty = 0, H - 1, 16 do
    for tx = 0, W - 1, 16 do
      qel_image_draw("demo_tile", tx, ty, 16, 16)
    end
  end
  for _, b in ipairs(balls) do
    qel_image_draw("demo_ball", b.x, b.y, 16, 16, 8, 8)
  end
  local pulse = 0.75 + 0.25 * math.sin(clock * 3)
  qel_font_draw("console", 12, "borlix2 demo", 0, 8, W, 0, 0xFFD070, pulse)
  qel_font_draw("console", 8, "click to add a ball - Ctrl+F fullscreen - Ctrl+Q quit", 0, 26, W, 0, 0xA0B0C0)
  qel_font_draw("console", 8, "last input: " .. last, 4, H - 14, 0, -1, 0xFFFFFF)
end
