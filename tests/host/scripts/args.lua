print("count=" .. #arg .. " first=" .. tostring(arg[1]) .. " script=" .. tostring(arg[0] ~= nil))
