function main()
  local a, b, c = 1, 2, 3
  for i = 0, 5000000 - 1 do
    a = (a + i) & 0xFFFFF
    b = (b ~ (a << 3)) & 0xFFFFF
    c = (c + (b >> 2) - a) & 0xFFFF
  end
  return a + b + c
end
