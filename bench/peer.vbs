' Peer for the benchmark: the same lookup of "." as a script, its result shown in a message box.
Set services = GetObject("winmgmts:{impersonationLevel=impersonate}!//.")
For Each bios In services.InstancesOf("Win32_BIOS")
  MsgBox "The serial number for the specified computer is: " & bios.SerialNumber
Next
