// WScript.Quit inside a try block: the catch block cannot use WScript any more.
try {
    WScript.Echo("leaving");
    WScript.Quit(6);
    WScript.Echo("after Quit");
} catch (e) {
    WScript.Echo("caught " + e.number);
}
WScript.Echo("after try");
