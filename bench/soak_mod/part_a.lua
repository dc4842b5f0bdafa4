-- The script the soak rewrites: version A.
soak_part = "A"
function soak_tint()
  return 0xFFC040
end
print("soak: part A")
