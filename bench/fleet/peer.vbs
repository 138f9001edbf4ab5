' Sequential peer for the fleet benchmark: looks up each name of a list, one after another, as an
' administrator's script would, and prints "name,serial" for each serial number it reads.
'   cscript //nologo peer.vbs NAMES.TXT
Set names = CreateObject("Scripting.FileSystemObject").OpenTextFile(WScript.Arguments(0))
Do Until names.AtEndOfStream
  name = names.ReadLine
  If Len(name) > 0 Then
    Set services = GetObject("winmgmts:{impersonationLevel=impersonate}!//" & name)
    For Each bios In services.InstancesOf("Win32_BIOS")
      WScript.Echo name & "," & bios.SerialNumber
    Next
  End If
Loop
names.Close
