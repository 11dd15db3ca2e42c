function main()
  local a = {}
  for i = 0, 10000 - 1 do a[i + 1] = (i * 13) & 1023 end
  local s = 0
  for pass = 0, 500 - 1 do
    for i = 1, 10000 do
      local v = a[i]
      s = (s + v) & 0xFFFFFF
      a[i] = (v * 3 + pass) & 1023
    end
  end
  return s
end
