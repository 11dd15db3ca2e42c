function main()
  local s = 0
  for i = 0, 20000000 - 1 do s = (s + i * 7) % 1000003 end
  return s
end
