-- The script the soak rewrites: version B.
soak_part = "B"
function soak_tint()
  return 0x40C0FF
end
print("soak: part B")
