-- The test double keeps a library object alive: the host must notice.
local leaky = CreateObject("q2mrtest.Leaky")
print("made=" .. leaky:Leak())
