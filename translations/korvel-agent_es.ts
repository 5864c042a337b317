<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES" sourcelanguage="en">
<context>
    <name>AccessHelpDialog</name>
    <message>
        <source>Allow keyboard access</source>
        <translation>Permitir el acceso al teclado</translation>
    </message>
    <message>
        <source>Let Korvel Agent read the scanner</source>
        <translation>Dejar que Korvel Agent lea el lector</translation>
    </message>
    <message>
        <source>Korvel Agent reads the key events of keyboards to see what the barcode scanner types. It only reads them: typing keeps working everywhere. An administrator of this station grants the access with a udev rule, in these steps.</source>
        <translation>Korvel Agent lee los eventos de teclas de los teclados para ver lo que escribe el lector de códigos de barras. Solo los lee: se sigue pudiendo escribir en todas partes. Un administrador de este puesto concede el acceso con una regla de udev, siguiendo estos pasos.</translation>
    </message>
    <message>
        <source>1. Install the rule. The korvel-agent package installs it as /lib/udev/rules.d/%1; without the package, copy it from the source folder:</source>
        <translation>1. Instale la regla. El paquete korvel-agent la instala como /lib/udev/rules.d/%1; sin el paquete, cópiela desde la carpeta de código fuente:</translation>
    </message>
    <message>
        <source>Only the scanner (optional)</source>
        <translation>Solo el lector (opcional)</translation>
    </message>
    <message>
        <source>Once the scanner is chosen, this help gives the commands that let only it be read. Or give its VID:PID as lsusb shows it: korvel-agent --udev-rule VID:PID prints that rule; saved as %1 it replaces the packaged one.</source>
        <translation>Una vez elegido el lector, esta ayuda indica los comandos que permiten leer solo ese dispositivo. O indique su VID:PID tal como lo muestra lsusb: korvel-agent --udev-rule VID:PID muestra esa regla; guardada como %1, sustituye a la del paquete.</translation>
    </message>
    <message>
        <source>No other keyboard can then be read, and detection finds only this device. Keyboards readable before may stay so until they are plugged in again or the station restarts.</source>
        <translation>Después no se puede leer ningún otro teclado y la detección solo encuentra este dispositivo. Los teclados que ya se podían leer pueden seguir así hasta que se vuelvan a conectar o se reinicie el puesto.</translation>
    </message>
    <message>
        <source>Adding the account to the input group is no substitute: it lets the account read every input device, passwords typed anywhere included, for good and from every login, remote ones too.</source>
        <translation>Añadir la cuenta al grupo input no es una alternativa: la cuenta podría leer todos los dispositivos de entrada, incluidas las contraseñas escritas en cualquier sitio, de forma permanente y desde cualquier inicio de sesión, también remoto.</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copiar</translation>
    </message>
    <message>
        <source>Copy this line, to paste it into a terminal</source>
        <translation>Copiar esta línea para pegarla en un terminal</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Copiado</translation>
    </message>
    <message>
        <source>It lets whoever&apos;s session is in front at this station read every keyboard (read only), which choosing the scanner by scanning needs, and scanners of known makers in HID POS or USB serial mode:</source>
        <translation>Permite a la sesión que está delante en este puesto leer cada teclado (solo lectura), lo que necesita la elección del escáner escaneando, y los escáneres de fabricantes conocidos en modo HID POS o serie USB:</translation>
    </message>
    <message>
        <source>That writes these rules (keyboard, HID POS and USB serial mode):</source>
        <translation>Eso escribe estas reglas (modo teclado, HID POS y serie USB):</translation>
    </message>
    <message>
        <source>The rule is installed already, as %1.</source>
        <translation>La regla ya está instalada, como %1.</translation>
    </message>
    <message>
        <source>%1. Apply it to the keyboards plugged in already:</source>
        <translation>%1. Aplíquela a los teclados ya conectados:</translation>
    </message>
    <message>
        <source>%1. Wait up to 5 seconds: Korvel Agent notices the access by itself, and its menu or window shows the scanner instead. If it does not, plug the scanner in again.</source>
        <translation>%1. Espere hasta 5 segundos: Korvel Agent detecta el acceso por sí solo y su menú o su ventana muestra entonces el lector. Si no, vuelva a conectar el lector.</translation>
    </message>
    <message>
        <source>%1. Replace the rule with one for the scanner %2 alone:</source>
        <translation>%1. Sustituya la regla por una solo para el lector %2:</translation>
    </message>
    <message>
        <source>%1. Apply it as in step %2:</source>
        <translation>%1. Aplíquela como en el paso %2:</translation>
    </message>
</context>
<context>
    <name>Agent</name>
    <message>
        <source>Scanner too slow to detect</source>
        <translation>Lector demasiado lento para detectarlo</translation>
    </message>
    <message>
        <source>%1 types too slowly to be told from a keyboard. To choose it, scan the test code in the Detect scanner window.</source>
        <translation>%1 escribe demasiado despacio para distinguirlo de un teclado. Para elegirlo, escanee el código de prueba en la ventana «Detectar lector».</translation>
    </message>
    <message>
        <source>Korvel Agent</source>
        <translation>Korvel Agent</translation>
    </message>
    <message>
        <source>Keyboard access granted. %1</source>
        <translation>Acceso al teclado concedido. %1</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards yet. Ask an administrator to grant keyboard access: the tray menu&apos;s help shows the steps.</source>
        <translation>Korvel Agent aún no puede leer los teclados. Pida a un administrador que conceda el acceso al teclado: la ayuda del menú de la bandeja del sistema muestra los pasos.</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards yet. Ask an administrator to grant keyboard access: the Korvel Agent window&apos;s help shows the steps.</source>
        <translation>Korvel Agent aún no puede leer los teclados. Pida a un administrador que conceda el acceso al teclado: la ayuda de la ventana de Korvel Agent muestra los pasos.</translation>
    </message>
    <message>
        <source>Next, the scanner: click the Korvel icon in the system tray, choose Detect scanner, then scan any barcode.</source>
        <translation>Ahora, el lector: haga clic en el icono de Korvel en la bandeja del sistema, elija «Detectar lector» y escanee cualquier código de barras.</translation>
    </message>
    <message>
        <source>Next, the scanner: choose Detect scanner in the Korvel Agent window, then scan any barcode.</source>
        <translation>Ahora, el lector: elija «Detectar lector» en la ventana de Korvel Agent y escanee cualquier código de barras.</translation>
    </message>
    <message>
        <source>Next, the server: choose Settings… in the tray menu and enter the scan server&apos;s address. Until it is reached, scans wait on this station.</source>
        <translation>Ahora, el servidor: elija «Configuración…» en el menú de la bandeja del sistema e introduzca la dirección del servidor de escaneo. Hasta que se conecte con él, las lecturas esperan en este puesto.</translation>
    </message>
    <message>
        <source>Next, the server: choose Settings… in the Korvel Agent window and enter the scan server&apos;s address. Until it is reached, scans wait on this station.</source>
        <translation>Ahora, el servidor: elija «Configuración…» en la ventana de Korvel Agent e introduzca la dirección del servidor de escaneo. Hasta que se conecte con él, las lecturas esperan en este puesto.</translation>
    </message>
    <message>
        <source>Korvel Agent: scanner layout unknown</source>
        <translation>Korvel Agent: distribución del lector desconocida</translation>
    </message>
    <message>
        <source>The scanner layout &quot;%1&quot; is not known to this system: scans are read as US. Choose the scanner&apos;s layout in Settings….</source>
        <translation>Este sistema no conoce la distribución del lector «%1»: las lecturas se interpretan como US. Elija la distribución del lector en Configuración….</translation>
    </message>
    <message>
        <source>Scanner %1: %2 layout</source>
        <translation>Lector %1: distribución %2</translation>
    </message>
    <message>
        <source>It adds %1 before each barcode.</source>
        <translation>Añade %1 antes de cada código de barras.</translation>
    </message>
    <message>
        <source>It adds %1 after each barcode.</source>
        <translation>Añade %1 después de cada código de barras.</translation>
    </message>
    <message>
        <source>It sends control characters as Alt codes.</source>
        <translation>Envía los caracteres de control como códigos Alt.</translation>
    </message>
    <message>
        <source>Scanner selected</source>
        <translation>Lector seleccionado</translation>
    </message>
    <message>
        <source>Paused while another user is at this station</source>
        <translation>En pausa: otro usuario está en el puesto</translation>
    </message>
    <message>
        <source>Keyboard access is off: Korvel can&apos;t read the scanner</source>
        <translation>Sin acceso al teclado: Korvel no puede leer el lector</translation>
    </message>
    <message>
        <source>Scan any barcode with the scanner now…</source>
        <translation>Escanee ahora cualquier código de barras…</translation>
    </message>
    <message>
        <source>Scanner not connected: %1</source>
        <translation>Lector no conectado: %1</translation>
    </message>
    <message>
        <source>Scanner: %1 · %2</source>
        <translation>Lector: %1 · %2</translation>
    </message>
    <message>
        <source>No scanner chosen: use Detect scanner</source>
        <translation>Ningún lector elegido: use «Detectar lector»</translation>
    </message>
    <message>
        <source> · Unknown layout &quot;%1&quot;, read as US</source>
        <translation> · Distribución «%1» desconocida, leída como US</translation>
    </message>
    <message>
        <source>Waiting to send: %1</source>
        <translation>Pendientes de envío: %1</translation>
    </message>
    <message>
        <source> · Not saved to disk (%1)</source>
        <translation> · No guardado en el disco (%1)</translation>
    </message>
    <message>
        <source> · Unreadable queue file kept as %1</source>
        <translation> · Archivo de cola ilegible conservado como %1</translation>
    </message>
    <message>
        <source>The server URL is not usable: correct it in Settings</source>
        <translation>La URL del servidor no es válida: corríjala en la configuración</translation>
    </message>
    <message>
        <source>Scans are waiting for the server: %1</source>
        <translation>Hay lecturas esperando al servidor: %1</translation>
    </message>
    <message>
        <source>Korvel · %1</source>
        <translation>Korvel · %1</translation>
    </message>
    <message>
        <source>no scanner chosen</source>
        <translation>ningún lector elegido</translation>
    </message>
    <message>
        <source>Server address not usable: see Settings…</source>
        <translation>Dirección del servidor no válida: ver Configuración…</translation>
    </message>
    <message>
        <source>Server: %1 (the default) · reached</source>
        <translation>Servidor: %1 (predeterminado) · conectado</translation>
    </message>
    <message>
        <source>Server not set yet: see Settings…</source>
        <translation>Servidor aún sin definir: ver Configuración…</translation>
    </message>
    <message>
        <source>Server: %1 · reached</source>
        <translation>Servidor: %1 · conectado</translation>
    </message>
    <message>
        <source>Server: %1 · not reached yet</source>
        <translation>Servidor: %1 · aún sin conexión</translation>
    </message>
    <message>
        <source>Cancel detection</source>
        <translation>Cancelar la detección</translation>
    </message>
    <message>
        <source>Detect scanner (scan now)</source>
        <translation>Detectar lector (escanear ahora)</translation>
    </message>
    <message>
        <source>Starting at login is not available here.</source>
        <translation>El inicio al iniciar sesión no está disponible aquí.</translation>
    </message>
    <message>
        <source>It was chosen by the barcode &quot;%1&quot;, which was not sent: scan it again to send it.</source>
        <translation>Elegido por el código de barras «%1», que no se envió: escanéelo de nuevo para enviarlo.</translation>
    </message>
    <message>
        <source>Korvel: barcode data faulty</source>
        <translation>Korvel: datos del código de barras erróneos</translation>
    </message>
    <message>
        <source> · HID POS</source>
        <translation> · HID POS</translation>
    </message>
    <message>
        <source> · USB serial</source>
        <translation> · serie USB</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Usage: korvel-agent [--help | --version | --queue | --diagnose | --udev-rule [VID:PID]]

Korvel Agent reads the barcode scanner chosen in its tray menu or window and
delivers every scan to the scan server set in its settings. Everything else
is set there too.

  -h, --help               show this text and exit
  -v, --version            show the version and exit
      --queue              print the scans waiting to be sent, oldest first, as
                           a JSON array of {&quot;value&quot;,&quot;ts&quot;}, and exit (safe while
                           the agent runs)
      --diagnose           print the support report (agent, server, queue,
                           devices and what keeps scans from arriving) as one
                           JSON object, and exit
      --udev-rule [VID:PID], --udev-rule=VID:PID
                           print a udev rule that lets the user in front read
                           only that device (by default the chosen scanner),
                           to be saved as /etc/udev/rules.d/70-korvel-agent.rules
</source>
        <translation>Uso: korvel-agent [--help | --version | --queue | --diagnose | --udev-rule [VID:PID]]

Korvel Agent recibe las lecturas del lector de códigos de barras elegido en el
menú de su icono en la bandeja del sistema o en su ventana, y envía cada una al
servidor de escaneo indicado en su configuración. Todo lo demás se ajusta ahí.

  -h, --help               mostrar este texto y salir
  -v, --version            mostrar la versión y salir
      --queue              mostrar las lecturas pendientes de envío, de la más
                           antigua a la más reciente, como un array JSON de
                           {&quot;value&quot;,&quot;ts&quot;}, y salir (seguro con el agente en marcha)
      --diagnose           mostrar el informe de soporte (agente, servidor, cola,
                           dispositivos y qué impide que lleguen las lecturas)
                           como un objeto JSON, y salir
      --udev-rule [VID:PID], --udev-rule=VID:PID
                           mostrar una regla de udev que permite al usuario
                           presente en el puesto leer solo ese dispositivo
                           (por defecto, el lector elegido), para guardarla
                           como /etc/udev/rules.d/70-korvel-agent.rules
</translation>
    </message>
</context>
<context>
    <name>DetectWindow</name>
    <message>
        <source>Detect scanner</source>
        <translation>Detectar lector</translation>
    </message>
    <message>
        <source>Scan this code, or any barcode</source>
        <translation>Escanee este código o cualquier código de barras</translation>
    </message>
    <message>
        <source>The test code cannot be drawn here.</source>
        <translation>El código de prueba no se puede dibujar aquí.</translation>
    </message>
    <message>
        <source>The test code also tells the scanner&apos;s keyboard layout and pace.</source>
        <translation>El código de prueba indica también la distribución de teclado y el ritmo del lector.</translation>
    </message>
    <message>
        <source>Print…</source>
        <translation>Imprimir…</translation>
    </message>
    <message>
        <source>Save as PDF…</source>
        <translation>Guardar como PDF…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Korvel Agent test code</source>
        <translation>Código de prueba de Korvel Agent</translation>
    </message>
    <message>
        <source>The page could not be printed.</source>
        <translation>No se pudo imprimir la página.</translation>
    </message>
    <message>
        <source>Save the test code</source>
        <translation>Guardar el código de prueba</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
</context>
<context>
    <name>Diagnosis</name>
    <message>
        <source>Korvel Agent is not running for this user: start it from the application menu or log in again.</source>
        <translation>Korvel Agent no se está ejecutando para este usuario: inícielo desde el menú de aplicaciones o vuelva a iniciar sesión.</translation>
    </message>
    <message>
        <source>Another user is at this station: the scanner is read only while this user&apos;s session is in front.</source>
        <translation>Otro usuario está en este puesto: el lector solo se lee mientras la sesión de este usuario está en primer plano.</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards: an administrator must install the package&apos;s udev rule or the one korvel-agent --udev-rule prints.</source>
        <translation>Korvel Agent no puede leer los teclados: un administrador debe instalar la regla de udev del paquete o la que muestra korvel-agent --udev-rule.</translation>
    </message>
    <message>
        <source>The keyboards cannot be read: %1.</source>
        <translation>No se pueden leer los teclados: %1.</translation>
    </message>
    <message>
        <source>No scanner is chosen: choose Detect scanner in the tray menu or the Korvel Agent window, then scan any barcode.</source>
        <translation>No hay ningún lector elegido: elija «Detectar lector» en el menú de la bandeja o en la ventana de Korvel Agent y lea cualquier código de barras.</translation>
    </message>
    <message>
        <source>The scanner %1 is not connected: check its cable, or that it is switched on and paired.</source>
        <translation>El lector %1 no está conectado: compruebe su cable, o que esté encendido y emparejado.</translation>
    </message>
    <message>
        <source>The scanner %1 is blocked by the system&apos;s USB authorisation: an administrator must allow the device.</source>
        <translation>El lector %1 está bloqueado por la autorización USB del sistema: un administrador debe permitir el dispositivo.</translation>
    </message>
    <message>
        <source>The system has switched off the input of the scanner %1 (inhibited): end the program that did so, or unplug and plug in the scanner.</source>
        <translation>El sistema ha desactivado la entrada del lector %1 (inhibited): cierre el programa que lo hizo, o desconecte y vuelva a conectar el lector.</translation>
    </message>
    <message>
        <source>The scanner %1 may not be read by this user: an administrator must install the package&apos;s udev rule.</source>
        <translation>Este usuario no puede leer el lector %1: un administrador debe instalar la regla de udev del paquete.</translation>
    </message>
    <message>
        <source>Another program holds the scanner %1 exclusively: close that program.</source>
        <translation>Otro programa tiene el lector %1 en exclusiva: cierre ese programa.</translation>
    </message>
    <message>
        <source>The scanner %1&apos;s battery is at %2 %: charge it or change its batteries.</source>
        <translation>La batería del lector %1 está al %2 %: cárguela o cambie las pilas.</translation>
    </message>
    <message>
        <source>The server address %1 is not usable: correct it in Settings.</source>
        <translation>La dirección del servidor %1 no es válida: corríjala en la configuración.</translation>
    </message>
    <message>
        <source>The scan server %1 does not answer: check the network and that the server runs.</source>
        <translation>El servidor de escaneo %1 no responde: compruebe la red y que el servidor esté en marcha.</translation>
    </message>
    <message>
        <source>The scan server %1 answers with error %2: tell its administrator.</source>
        <translation>El servidor de escaneo %1 responde con el error %2: avise a su administrador.</translation>
    </message>
    <message>
        <source>No scan server is set: enter its address in Settings.</source>
        <translation>No hay ningún servidor de escaneo configurado: introduzca su dirección en la configuración.</translation>
    </message>
    <message numerus="yes">
        <source>%n scan(s) wait to be sent, the oldest for %1 minutes.</source>
        <translation>
            <numerusform>%n lectura espera a enviarse, desde hace %1 minutos.</numerusform>
            <numerusform>%n lecturas esperan a enviarse, la más antigua desde hace %1 minutos.</numerusform>
        </translation>
    </message>
    <message>
        <source>Scans arriving</source>
        <translation>Las lecturas llegan</translation>
    </message>
</context>
<context>
    <name>EvdevKeyboard</name>
    <message>
        <source>Can&apos;t watch for keyboards being plugged in: %1</source>
        <translation>No se puede vigilar la conexión de teclados: %1</translation>
    </message>
    <message>
        <source>Can&apos;t read the keyboards: %1</source>
        <translation>No se pueden leer los teclados: %1</translation>
    </message>
    <message>
        <source>Can&apos;t watch keyboard %1 (%2): %3</source>
        <translation>No se puede vigilar el teclado %1 (%2): %3</translation>
    </message>
</context>
<context>
    <name>ScanDelivery</name>
    <message>
        <source>Server certificate not trusted</source>
        <translation>Certificado del servidor no fiable</translation>
    </message>
    <message>
        <source>Server unreachable</source>
        <translation>Servidor inaccesible</translation>
    </message>
    <message>
        <source>Server error %1</source>
        <translation>Error del servidor %1</translation>
    </message>
    <message>
        <source>Refused: %1 – %2</source>
        <translation>Rechazado: %1 – %2</translation>
    </message>
    <message>
        <source>Korvel: scan refused</source>
        <translation>Korvel: lectura rechazada</translation>
    </message>
    <message>
        <source>Korvel recording stopped</source>
        <translation>Korvel: registro detenido</translation>
    </message>
    <message>
        <source>No scans for a while. Scan the station QR to start again.</source>
        <translation>Hace rato que no hay lecturas. Escanee el código QR del puesto para empezar de nuevo.</translation>
    </message>
</context>
<context>
    <name>ScanMeaning</name>
    <message>
        <source>unknown AI</source>
        <translation>AI desconocido</translation>
    </message>
    <message>
        <source>a separator where an AI should begin</source>
        <translation>un separador donde debería empezar un AI</translation>
    </message>
    <message>
        <source>only digits are allowed</source>
        <translation>solo se admiten dígitos</translation>
    </message>
    <message>
        <source>a character that is not allowed</source>
        <translation>un carácter no permitido</translation>
    </message>
    <message>
        <source>the data is too short</source>
        <translation>los datos son demasiado cortos</translation>
    </message>
    <message>
        <source>the data is too long</source>
        <translation>los datos son demasiado largos</translation>
    </message>
    <message>
        <source>the check digit is wrong</source>
        <translation>el dígito de control es incorrecto</translation>
    </message>
    <message>
        <source>not a valid date</source>
        <translation>fecha no válida</translation>
    </message>
    <message>
        <source>not a valid time</source>
        <translation>hora no válida</translation>
    </message>
</context>
<context>
    <name>ScanQueue</name>
    <message>
        <source>queue file not read yet: %1</source>
        <translation>archivo de cola aún sin leer: %1</translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>Korvel Agent</source>
        <translation>Korvel Agent</translation>
    </message>
    <message>
        <source>Korvel Agent settings</source>
        <translation>Configuración de Korvel Agent</translation>
    </message>
    <message>
        <source>Device ID: %1</source>
        <translation>ID del dispositivo: %1</translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation>Probar la conexión</translation>
    </message>
    <message>
        <source>Find from a scan…</source>
        <translation>Averiguar escaneando…</translation>
    </message>
    <message>
        <source>&amp;Server URL</source>
        <translation>URL del &amp;servidor</translation>
    </message>
    <message>
        <source>Device &amp;name</source>
        <translation>&amp;Nombre del dispositivo</translation>
    </message>
    <message>
        <source>Scanner &amp;layout</source>
        <translation>&amp;Distribución del lector</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Guardar</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>US (default)</source>
        <translation>US (predeterminada)</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>%1 (not known to this system)</source>
        <translation>%1 (desconocida en este sistema)</translation>
    </message>
    <message>
        <source>Enter the scan server&apos;s address, e.g. http://192.168.1.20:3000.</source>
        <translation>Introduzca la dirección del servidor de escaneo, p. ej. http://192.168.1.20:3000.</translation>
    </message>
    <message>
        <source>The address needs http:// or https:// in front.</source>
        <translation>La dirección debe empezar por http:// o https://.</translation>
    </message>
    <message>
        <source>Only http:// and https:// addresses work.</source>
        <translation>Solo funcionan las direcciones http:// y https://.</translation>
    </message>
    <message>
        <source>The address lacks the server&apos;s name.</source>
        <translation>A la dirección le falta el nombre del servidor.</translation>
    </message>
    <message>
        <source>This is not a usable address.</source>
        <translation>Esta dirección no es válida.</translation>
    </message>
    <message>
        <source>Use %1</source>
        <translation>Usar %1</translation>
    </message>
    <message>
        <source>No layout of that name: choose one from the list.</source>
        <translation>No hay ninguna distribución con ese nombre: elija una de la lista.</translation>
    </message>
    <message>
        <source>This layout is not known to this system: scans are read as US until another is chosen.</source>
        <translation>Este sistema no conoce esta distribución: las lecturas se interpretan como US hasta que se elija otra.</translation>
    </message>
    <message>
        <source>This layout cannot be used on this system: choose another.</source>
        <translation>Esta distribución no se puede usar en este sistema: elija otra.</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>Probando…</translation>
    </message>
    <message>
        <source>Reachable: the server accepted this station.</source>
        <translation>Accesible: el servidor ha aceptado este puesto.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>StatusMenu</name>
    <message>
        <source>Allow keyboard access…</source>
        <translation>Permitir acceso al teclado…</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Configuración…</translation>
    </message>
    <message>
        <source>Start at login</source>
        <translation>Iniciar al iniciar sesión</translation>
    </message>
    <message>
        <source>Quit Korvel Agent</source>
        <translation>Salir de Korvel Agent</translation>
    </message>
    <message>
        <source>Korvel Agent</source>
        <translation>Korvel Agent</translation>
    </message>
    <message>
        <source>Start at login could not be changed.</source>
        <translation>No se pudo cambiar el inicio al iniciar sesión.</translation>
    </message>
    <message>
        <source>Why no scans?…</source>
        <translation>¿Por qué no llegan lecturas?…</translation>
    </message>
</context>
<context>
    <name>StatusWindow</name>
    <message>
        <source>Korvel Agent</source>
        <translation>Korvel Agent</translation>
    </message>
    <message>
        <source>Quit Korvel Agent?</source>
        <translation>¿Salir de Korvel Agent?</translation>
    </message>
    <message>
        <source>Scans are no longer read or sent until Korvel Agent is started again.</source>
        <translation>Las lecturas dejan de leerse y enviarse hasta que Korvel Agent se vuelva a iniciar.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>Open Korvel Agent</source>
        <translation>Abrir Korvel Agent</translation>
    </message>
</context>
<context>
    <name>TestCode</name>
    <message>
        <source>Korvel Agent test code</source>
        <translation>Código de prueba de Korvel Agent</translation>
    </message>
    <message>
        <source>Data Matrix holding KV1, a space, the printable ASCII characters from ! to ~ in code order, GS (29), then KV1 again.</source>
        <translation>Data Matrix con KV1, un espacio, los caracteres ASCII imprimibles de ! a ~ en orden de código, GS (29) y de nuevo KV1.</translation>
    </message>
    <message>
        <source>%1 cannot be written.</source>
        <translation>No se puede escribir %1.</translation>
    </message>
    <message>
        <source>Choose Detect scanner in Korvel Agent&apos;s tray menu or window, then scan this code with the scanner. It tells the agent which scanner it is, which keyboard layout it was programmed for and how fast it types.</source>
        <translation>Elija «Detectar lector» en el menú de Korvel Agent de la bandeja del sistema o en su ventana y escanee este código con el lector. Así el agente sabe qué lector es, para qué distribución de teclado se programó y a qué velocidad escribe.</translation>
    </message>
</context>
<context>
    <name>WhyDialog</name>
    <message>
        <source>unknown</source>
        <translation>desconocido</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>sí</translation>
    </message>
    <message>
        <source>no</source>
        <translation>no</translation>
    </message>
    <message>
        <source>Why no scans?</source>
        <translation>¿Por qué no llegan lecturas?</translation>
    </message>
    <message>
        <source>Nothing keeps scans from arriving: the scanner is there and the server answers.</source>
        <translation>Nada impide que lleguen las lecturas: el lector está conectado y el servidor responde.</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Detalles</translation>
    </message>
    <message>
        <source>Copy the report</source>
        <translation>Copiar el informe</translation>
    </message>
    <message>
        <source>Korvel Agent %1, process %2</source>
        <translation>Korvel Agent %1, proceso %2</translation>
    </message>
    <message>
        <source>Server %1: last answer %2, %3 s ago, reached: %4</source>
        <translation>Servidor %1: última respuesta %2, hace %3 s, alcanzado: %4</translation>
    </message>
    <message>
        <source>Waiting to send: %1, the oldest for %2 s</source>
        <translation>Pendientes de envío: %1, la más antigua desde hace %2 s</translation>
    </message>
    <message>
        <source>, the chosen scanner</source>
        <translation>, el lector elegido</translation>
    </message>
    <message>
        <source>  %1 at %2; connected: %3, readable: %4</source>
        <translation>  %1 en %2; conectado: %3, legible: %4</translation>
    </message>
    <message>
        <source>  inhibited: %1, authorised: %2, battery: %3 %</source>
        <translation>  inhibido: %1, autorizado: %2, batería: %3 %</translation>
    </message>
    <message>
        <source>  last key %1 s ago, scans since start: %2, held by another program: %3</source>
        <translation>  última tecla hace %1 s, lecturas desde el inicio: %2, en exclusiva de otro programa: %3</translation>
    </message>
</context>
<context>
    <name>XdgAutostart</name>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>No se pudo crear la carpeta %1.</translation>
    </message>
    <message>
        <source>The application&apos;s desktop entry %1 was not found.</source>
        <translation>No se encontró la entrada de escritorio %1 de la aplicación.</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>No se pudo escribir %1: %2</translation>
    </message>
    <message>
        <source>Could not remove %1.</source>
        <translation>No se pudo eliminar %1.</translation>
    </message>
</context>
</TS>
