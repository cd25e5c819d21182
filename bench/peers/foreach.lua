local b = {}
for i = 1, 1000000 do b[#b + 1] = i end
local n = 0
for _ = 1, 10 do
  for _, v in ipairs(b) do n = n + 1 end
end
print(n)
