' WScript.Quit ARG 0 from inside a procedure; with ARG 1 "guarded" the script traps
' failures, which under Wine's engine keeps it running: WScript then serves nothing more.
If WScript.Arguments.Count > 1 Then On Error Resume Next
Sub Leave(code)
    WScript.Echo "leaving"
    WScript.Quit code
    WScript.Echo "after Quit"
End Sub
Leave CInt(WScript.Arguments(0))
WScript.Echo "after Leave"
