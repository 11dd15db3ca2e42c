function main()
  local x, y = 1.0, 0.0
  for i = 0, 10000000 - 1 do
    x = x * 0.9999 + 0.25
    y = y + x * 0.5
  end
  return x
end
