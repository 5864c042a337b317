<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>CommandLine</name>
    <message>
        <source>Usage: korvel-agent [--help | --version | --udev-rule [VID:PID]]

Korvel Agent reads the barcode scanner chosen in its tray menu and delivers
every scan to the scan server set in its settings. Everything else is set
from the tray menu.

  -h, --help               show this text and exit
  -v, --version            show the version and exit
      --udev-rule [VID:PID]
                           print a udev rule that lets the user in front read
                           only that device (by default the chosen scanner),
                           to be saved as /etc/udev/rules.d/70-korvel-agent.rules
</source>
        <translation>Aufruf: korvel-agent [--help | --version | --udev-rule [VID:PID]]

Korvel Agent liest den Barcodescanner, der im Menü seines Symbols im Infobereich
gewählt ist, und sendet jeden Scan an den Scan-Server aus seinen Einstellungen.
Alles andere wird in diesem Menü eingestellt.

  -h, --help               diesen Text anzeigen und beenden
  -v, --version            die Version anzeigen und beenden
      --udev-rule [VID:PID]
                           eine udev-Regel ausgeben, mit der der Benutzer an
                           der Station nur dieses Gerät lesen darf (ohne Angabe
                           den gewählten Scanner); zu speichern unter
                           /etc/udev/rules.d/70-korvel-agent.rules
</translation>
    </message>
</context>
</TS>
