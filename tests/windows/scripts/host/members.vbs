' The members of WScript that the stock host under Wine lacks.
WScript.StdOut.Write "out-"
WScript.StdOut.WriteLine "line"
WScript.StdOut.WriteLine
WScript.StdErr.WriteLine "to standard error"
WScript.Sleep 1
WScript.Echo
WScript.Echo "arguments", WScript.Arguments.Count, WScript.Arguments(0), WScript.Arguments.Item(1)
