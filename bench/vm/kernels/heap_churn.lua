function main()
  local ring = {}
  for i = 0, 300000 - 1 do
    local slot = (i & 15) + 1
    ring[slot] = nil
    ring[slot] = string.rep("\0", 4 * ((i * 37) % 100 + 1))
  end
  return 300000
end
