<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES" sourcelanguage="en">
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
        <translation>Uso: korvel-agent [--help | --version | --udev-rule [VID:PID]]

Korvel Agent recibe las lecturas del lector de códigos de barras elegido en el
menú de su icono en la bandeja del sistema y envía cada una al servidor de
escaneo indicado en su configuración. Todo lo demás se ajusta desde ese menú.

  -h, --help               mostrar este texto y salir
  -v, --version            mostrar la versión y salir
      --udev-rule [VID:PID]
                           mostrar una regla de udev que permite al usuario
                           presente en el puesto leer solo ese dispositivo
                           (por defecto, el lector elegido), para guardarla
                           como /etc/udev/rules.d/70-korvel-agent.rules
</translation>
    </message>
</context>
</TS>
