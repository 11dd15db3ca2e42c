function main()
  local total = 0
  for n = 1, 50000 do
    local x = n
    while x ~= 1 do
      if x & 1 == 0 then x = x >> 1 else x = 3 * x + 1 end
      total = total + 1
    end
  end
  return total
end
