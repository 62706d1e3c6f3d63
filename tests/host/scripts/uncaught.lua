local s = CreateObject("quellar2mrapi.t2mrapp")
-- An untrapped failure ends the script on the line that made the call.
s:setDynamicAttrs("4711", "")
print("not reached")
