-- Only text chunks load: a precompiled chunk, whole or damaged in any byte, is refused
-- by load, loadfile, dofile and require (a damaged one could crash the engine).
local dumped = string.dump(function(t, k) local x = t[k] + 1; return x, "constant", 2.5 end)
local name = os.tmpname()
local loaded = 0
for i = 0, #dumped do
  local chunk = i == 0 and dumped or dumped:sub(1, i - 1) .. "\255" .. dumped:sub(i + 1)
  local f = load(chunk, "chunk", "b")
  if f then loaded = loaded + 1; pcall(f, {1}, 1) end
  local out = assert(io.open(name, "wb")); out:write(chunk); out:close()
  f = loadfile(name)
  if f then loaded = loaded + 1; pcall(f, {1}, 1) end
  if pcall(dofile, name) then loaded = loaded + 1 end
end
os.remove(name)
print("loaded=" .. loaded)
