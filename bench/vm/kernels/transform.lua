function main()
  -- column-major: rotation by 0.001 about z (as the VM builds it), then a
  -- translation by 0.01 along x applied before it
  local c, s = math.cos(0.001), math.sin(0.001)
  local m = {c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0.01 * c, -0.01 * s, 0, 1}
  local pts = {}
  for i = 0, 10000 - 1 do pts[i + 1] = {i, i * 0.5, 1} end
  for pass = 1, 200 do
    for i = 1, 10000 do
      local p = pts[i]
      local x, y, z = p[1], p[2], p[3]
      p[1] = m[1] * x + m[5] * y + m[9] * z + m[13]
      p[2] = m[2] * x + m[6] * y + m[10] * z + m[14]
      p[3] = m[3] * x + m[7] * y + m[11] * z + m[15]
    end
  end
  return pts[10000][1]
end
