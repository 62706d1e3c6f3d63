' A script that does not compile runs no line.
WScript.Echo "never"
If Then
