' Runs unchanged under the stock cscript and under q2mrhost, which must print the same:
' the members of WScript that both offer, the component through both ways of creating it.
WScript.Echo "name", WScript.ScriptName, WScript.Arguments.Count, WScript.Arguments(0), WScript.Arguments.Item(1)
WScript.Echo "values", 1, 2.5, True, "text", Null, Empty, CByte(7)
Set s = WScript.CreateObject("quellar2mrapi.t2mrapp")
WScript.Echo "connect [" & s.Connect("localhost", "tcp", 8400) & "]", s.encodeXML("a<b")
Set d = CreateObject("quellar2mrapi.t2DataClass")
d.StringValue = "x"
WScript.Echo "value", d.ValueType, d.StringValue
Set s = Nothing
Set d = Nothing
WScript.Quit 7
WScript.Echo "not reached"
