<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>AccessHelpDialog</name>
    <message>
        <source>Allow keyboard access</source>
        <translation>Tastaturzugriff erlauben</translation>
    </message>
    <message>
        <source>Let Korvel Agent read the scanner</source>
        <translation>Korvel Agent den Scanner lesen lassen</translation>
    </message>
    <message>
        <source>Korvel Agent reads the key events of keyboards to see what the barcode scanner types. It only reads them: typing keeps working everywhere. An administrator of this station grants the access with a udev rule, in these steps.</source>
        <translation>Korvel Agent liest die Tastenereignisse der Tastaturen, um zu sehen, was der Barcodescanner tippt. Es liest sie nur mit: Tippen funktioniert überall weiter. Ein Administrator dieser Station erteilt den Zugriff mit einer udev-Regel, in diesen Schritten.</translation>
    </message>
    <message>
        <source>1. Install the rule. The korvel-agent package installs it as /lib/udev/rules.d/%1; without the package, copy it from the source folder:</source>
        <translation>1. Die Regel installieren. Das Paket korvel-agent installiert sie als /lib/udev/rules.d/%1; ohne das Paket kopieren Sie sie aus dem Quellordner:</translation>
    </message>
    <message>
        <source>Only the scanner (optional)</source>
        <translation>Nur der Scanner (optional)</translation>
    </message>
    <message>
        <source>Once the scanner is chosen, this help gives the commands that let only it be read. Or give its VID:PID as lsusb shows it: korvel-agent --udev-rule VID:PID prints that rule; saved as %1 it replaces the packaged one.</source>
        <translation>Sobald der Scanner gewählt ist, nennt diese Hilfe die Befehle, mit denen nur er gelesen werden darf. Oder geben Sie seine VID:PID an, wie lsusb sie zeigt: korvel-agent --udev-rule VID:PID gibt diese Regel aus; als %1 gespeichert ersetzt sie die Regel aus dem Paket.</translation>
    </message>
    <message>
        <source>No other keyboard can then be read, and detection finds only this device. Keyboards readable before may stay so until they are plugged in again or the station restarts.</source>
        <translation>Danach kann keine andere Tastatur gelesen werden, und die Erkennung findet nur dieses Gerät. Tastaturen, die vorher lesbar waren, können es bleiben, bis sie neu eingesteckt werden oder die Station neu startet.</translation>
    </message>
    <message>
        <source>Adding the account to the input group is no substitute: it lets the account read every input device, passwords typed anywhere included, for good and from every login, remote ones too.</source>
        <translation>Das Konto in die Gruppe input aufzunehmen, ist kein Ersatz: Damit kann das Konto jedes Eingabegerät lesen, überall getippte Passwörter eingeschlossen, dauerhaft und aus jeder Anmeldung heraus, auch aus entfernten.</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Copy this line, to paste it into a terminal</source>
        <translation>Diese Zeile kopieren, um sie in ein Terminal einzufügen</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>It lets whoever&apos;s session is in front at this station read every keyboard (read only), which choosing the scanner by scanning needs, and scanners of known makers in HID POS or USB serial mode:</source>
        <translation>Sie lässt die Sitzung, die an dieser Station vorne ist, jede Tastatur lesen (nur lesen), was die Wahl des Scanners durch Scannen braucht, und Scanner bekannter Hersteller im HID-POS- oder USB-Seriell-Modus:</translation>
    </message>
    <message>
        <source>That writes these rules (keyboard, HID POS and USB serial mode):</source>
        <translation>Das schreibt diese Regeln (Tastatur-, HID-POS- und USB-Seriell-Modus):</translation>
    </message>
    <message>
        <source>The rule is installed already, as %1.</source>
        <translation>Die Regel ist bereits installiert, als %1.</translation>
    </message>
    <message>
        <source>%1. Apply it to the keyboards plugged in already:</source>
        <translation>%1. Die Regel auf die bereits angeschlossenen Tastaturen anwenden:</translation>
    </message>
    <message>
        <source>%1. Wait up to 5 seconds: Korvel Agent notices the access by itself, and its menu or window shows the scanner instead. If it does not, plug the scanner in again.</source>
        <translation>%1. Bis zu 5 Sekunden warten: Korvel Agent bemerkt den Zugriff von selbst, und sein Menü oder Fenster zeigt stattdessen den Scanner. Falls nicht, den Scanner neu einstecken.</translation>
    </message>
    <message>
        <source>%1. Replace the rule with one for the scanner %2 alone:</source>
        <translation>%1. Die Regel durch eine nur für den Scanner %2 ersetzen:</translation>
    </message>
    <message>
        <source>%1. Apply it as in step %2:</source>
        <translation>%1. Die Regel wie in Schritt %2 anwenden:</translation>
    </message>
</context>
<context>
    <name>Agent</name>
    <message>
        <source>Scanner too slow to detect</source>
        <translation>Scanner zu langsam für die Erkennung</translation>
    </message>
    <message>
        <source>%1 types too slowly to be told from a keyboard. To choose it, scan the test code in the Detect scanner window.</source>
        <translation>%1 tippt zu langsam, um von einer Tastatur unterschieden zu werden. Um ihn zu wählen, scannen Sie den Testcode im Fenster „Scanner erkennen“.</translation>
    </message>
    <message>
        <source>Korvel Agent</source>
        <translation>Korvel Agent</translation>
    </message>
    <message>
        <source>Keyboard access granted. %1</source>
        <translation>Tastaturzugriff erteilt. %1</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards yet. Ask an administrator to grant keyboard access: the tray menu&apos;s help shows the steps.</source>
        <translation>Korvel Agent darf die Tastaturen noch nicht lesen. Bitten Sie einen Administrator, den Tastaturzugriff zu erteilen: Die Hilfe im Menü im Infobereich zeigt die Schritte.</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards yet. Ask an administrator to grant keyboard access: the Korvel Agent window&apos;s help shows the steps.</source>
        <translation>Korvel Agent darf die Tastaturen noch nicht lesen. Bitten Sie einen Administrator, den Tastaturzugriff zu erteilen: Die Hilfe im Fenster von Korvel Agent zeigt die Schritte.</translation>
    </message>
    <message>
        <source>Next, the scanner: click the Korvel icon in the system tray, choose Detect scanner, then scan any barcode.</source>
        <translation>Als Nächstes der Scanner: Klicken Sie auf das Korvel-Symbol im Infobereich, wählen Sie „Scanner erkennen“ und scannen Sie dann einen beliebigen Barcode.</translation>
    </message>
    <message>
        <source>Next, the scanner: choose Detect scanner in the Korvel Agent window, then scan any barcode.</source>
        <translation>Als Nächstes der Scanner: Wählen Sie im Fenster von Korvel Agent „Scanner erkennen“ und scannen Sie dann einen beliebigen Barcode.</translation>
    </message>
    <message>
        <source>Next, the server: choose Settings… in the tray menu and enter the scan server&apos;s address. Until it is reached, scans wait on this station.</source>
        <translation>Als Nächstes der Server: Wählen Sie „Einstellungen…“ im Menü im Infobereich und geben Sie die Adresse des Scan-Servers ein. Bis er erreicht wird, warten die Scans auf dieser Station.</translation>
    </message>
    <message>
        <source>Next, the server: choose Settings… in the Korvel Agent window and enter the scan server&apos;s address. Until it is reached, scans wait on this station.</source>
        <translation>Als Nächstes der Server: Wählen Sie „Einstellungen…“ im Fenster von Korvel Agent und geben Sie die Adresse des Scan-Servers ein. Bis er erreicht wird, warten die Scans auf dieser Station.</translation>
    </message>
    <message>
        <source>Korvel Agent: scanner layout unknown</source>
        <translation>Korvel Agent: Scanner-Tastaturbelegung unbekannt</translation>
    </message>
    <message>
        <source>The scanner layout &quot;%1&quot; is not known to this system: scans are read as US. Choose the scanner&apos;s layout in Settings….</source>
        <translation>Die Scanner-Tastaturbelegung „%1“ ist diesem System nicht bekannt: Scans werden als US gelesen. Wählen Sie die Belegung des Scanners unter „Einstellungen…“.</translation>
    </message>
    <message>
        <source>Scanner %1: %2 layout</source>
        <translation>Scanner %1: Belegung %2</translation>
    </message>
    <message>
        <source>It adds %1 before each barcode.</source>
        <translation>Er setzt %1 vor jeden Barcode.</translation>
    </message>
    <message>
        <source>It adds %1 after each barcode.</source>
        <translation>Er setzt %1 hinter jeden Barcode.</translation>
    </message>
    <message>
        <source>It sends control characters as Alt codes.</source>
        <translation>Er sendet Steuerzeichen als Alt-Codes.</translation>
    </message>
    <message>
        <source>Scanner selected</source>
        <translation>Scanner ausgewählt</translation>
    </message>
    <message>
        <source>Paused while another user is at this station</source>
        <translation>Pausiert, solange jemand anderes an der Station ist</translation>
    </message>
    <message>
        <source>Keyboard access is off: Korvel can&apos;t read the scanner</source>
        <translation>Kein Tastaturzugriff: Korvel kann den Scanner nicht lesen</translation>
    </message>
    <message>
        <source>Scan any barcode with the scanner now…</source>
        <translation>Jetzt einen beliebigen Barcode scannen…</translation>
    </message>
    <message>
        <source>Scanner not connected: %1</source>
        <translation>Scanner nicht angeschlossen: %1</translation>
    </message>
    <message>
        <source>Scanner: %1 · %2</source>
        <translation>Scanner: %1 · %2</translation>
    </message>
    <message>
        <source>No scanner chosen: use Detect scanner</source>
        <translation>Kein Scanner gewählt: „Scanner erkennen“ nutzen</translation>
    </message>
    <message>
        <source> · Unknown layout &quot;%1&quot;, read as US</source>
        <translation> · Unbekannte Belegung „%1“, als US gelesen</translation>
    </message>
    <message>
        <source>Waiting to send: %1</source>
        <translation>Noch zu senden: %1</translation>
    </message>
    <message>
        <source> · Not saved to disk (%1)</source>
        <translation> · Nicht auf der Festplatte gespeichert (%1)</translation>
    </message>
    <message>
        <source> · Unreadable queue file kept as %1</source>
        <translation> · Unlesbare Warteschlangendatei als %1 aufbewahrt</translation>
    </message>
    <message>
        <source>The server URL is not usable: correct it in Settings</source>
        <translation>Die Server-URL ist unbrauchbar: in den Einstellungen korrigieren</translation>
    </message>
    <message>
        <source>Scans are waiting for the server: %1</source>
        <translation>Scans warten auf den Server: %1</translation>
    </message>
    <message>
        <source>Korvel · %1</source>
        <translation>Korvel · %1</translation>
    </message>
    <message>
        <source>no scanner chosen</source>
        <translation>kein Scanner gewählt</translation>
    </message>
    <message>
        <source>Server address not usable: see Settings…</source>
        <translation>Serveradresse unbrauchbar: siehe Einstellungen…</translation>
    </message>
    <message>
        <source>Server: %1 (the default) · reached</source>
        <translation>Server: %1 (Standard) · erreicht</translation>
    </message>
    <message>
        <source>Server not set yet: see Settings…</source>
        <translation>Noch kein Server festgelegt: siehe Einstellungen…</translation>
    </message>
    <message>
        <source>Server: %1 · reached</source>
        <translation>Server: %1 · erreicht</translation>
    </message>
    <message>
        <source>Server: %1 · not reached yet</source>
        <translation>Server: %1 · noch nicht erreicht</translation>
    </message>
    <message>
        <source>Cancel detection</source>
        <translation>Erkennung abbrechen</translation>
    </message>
    <message>
        <source>Detect scanner (scan now)</source>
        <translation>Scanner erkennen (jetzt scannen)</translation>
    </message>
    <message>
        <source>Starting at login is not available here.</source>
        <translation>Der Start bei der Anmeldung ist hier nicht verfügbar.</translation>
    </message>
    <message>
        <source>It was chosen by the barcode &quot;%1&quot;, which was not sent: scan it again to send it.</source>
        <translation>Gewählt durch den Barcode „%1“, der nicht gesendet wurde: zum Senden erneut scannen.</translation>
    </message>
    <message>
        <source>Korvel: barcode data faulty</source>
        <translation>Korvel: Barcode-Daten fehlerhaft</translation>
    </message>
    <message>
        <source> · HID POS</source>
        <translation> · HID POS</translation>
    </message>
    <message>
        <source> · USB serial</source>
        <translation> · USB seriell</translation>
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
        <translation>Aufruf: korvel-agent [--help | --version | --queue | --diagnose | --udev-rule [VID:PID]]

Korvel Agent liest den Barcodescanner, der im Menü seines Symbols im Infobereich
oder in seinem Fenster gewählt ist, und sendet jeden Scan an den Scan-Server aus
seinen Einstellungen. Alles andere wird ebenfalls dort eingestellt.

  -h, --help               diesen Text anzeigen und beenden
  -v, --version            die Version anzeigen und beenden
      --queue              die noch zu sendenden Scans ausgeben, die ältesten
                           zuerst, als JSON-Array aus {&quot;value&quot;,&quot;ts&quot;}, und beenden
                           (auch während der Agent läuft)
      --diagnose           den Supportbericht (Agent, Server, Warteschlange,
                           Geräte und was Scans aufhält) als ein JSON-Objekt
                           ausgeben und beenden
      --udev-rule [VID:PID], --udev-rule=VID:PID
                           eine udev-Regel ausgeben, mit der der Benutzer an
                           der Station nur dieses Gerät lesen darf (ohne Angabe
                           den gewählten Scanner); zu speichern unter
                           /etc/udev/rules.d/70-korvel-agent.rules
</translation>
    </message>
</context>
<context>
    <name>DetectWindow</name>
    <message>
        <source>Detect scanner</source>
        <translation>Scanner erkennen</translation>
    </message>
    <message>
        <source>Scan this code, or any barcode</source>
        <translation>Diesen Code oder einen beliebigen Barcode scannen</translation>
    </message>
    <message>
        <source>The test code cannot be drawn here.</source>
        <translation>Der Testcode kann hier nicht gezeichnet werden.</translation>
    </message>
    <message>
        <source>The test code also tells the scanner&apos;s keyboard layout and pace.</source>
        <translation>Der Testcode verrät auch Tastaturbelegung und Tempo des Scanners.</translation>
    </message>
    <message>
        <source>Print…</source>
        <translation>Drucken…</translation>
    </message>
    <message>
        <source>Save as PDF…</source>
        <translation>Als PDF speichern…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Korvel Agent test code</source>
        <translation>Korvel Agent – Testcode</translation>
    </message>
    <message>
        <source>The page could not be printed.</source>
        <translation>Die Seite konnte nicht gedruckt werden.</translation>
    </message>
    <message>
        <source>Save the test code</source>
        <translation>Testcode speichern</translation>
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
        <translation>Korvel Agent läuft für diesen Benutzer nicht: Starten Sie es aus dem Anwendungsmenü oder melden Sie sich neu an.</translation>
    </message>
    <message>
        <source>Another user is at this station: the scanner is read only while this user&apos;s session is in front.</source>
        <translation>Jemand anderes ist an dieser Station: Der Scanner wird nur gelesen, solange die Sitzung dieses Benutzers im Vordergrund ist.</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards: an administrator must install the package&apos;s udev rule or the one korvel-agent --udev-rule prints.</source>
        <translation>Korvel Agent darf die Tastaturen nicht lesen: Ein Administrator muss die udev-Regel des Pakets installieren oder die, die korvel-agent --udev-rule ausgibt.</translation>
    </message>
    <message>
        <source>The keyboards cannot be read: %1.</source>
        <translation>Die Tastaturen können nicht gelesen werden: %1.</translation>
    </message>
    <message>
        <source>No scanner is chosen: choose Detect scanner in the tray menu or the Korvel Agent window, then scan any barcode.</source>
        <translation>Kein Scanner gewählt: Wählen Sie „Scanner erkennen“ im Menü im Infobereich oder im Fenster von Korvel Agent und scannen Sie dann einen beliebigen Barcode.</translation>
    </message>
    <message>
        <source>The scanner %1 is not connected: check its cable, or that it is switched on and paired.</source>
        <translation>Der Scanner %1 ist nicht angeschlossen: Prüfen Sie das Kabel bzw. ob er eingeschaltet und gekoppelt ist.</translation>
    </message>
    <message>
        <source>The scanner %1 is blocked by the system&apos;s USB authorisation: an administrator must allow the device.</source>
        <translation>Der Scanner %1 wird von der USB-Autorisierung des Systems gesperrt: Ein Administrator muss das Gerät zulassen.</translation>
    </message>
    <message>
        <source>The system has switched off the input of the scanner %1 (inhibited): end the program that did so, or unplug and plug in the scanner.</source>
        <translation>Das System hat die Eingabe des Scanners %1 abgeschaltet (inhibited): Beenden Sie das Programm, das dies getan hat, oder stecken Sie den Scanner neu ein.</translation>
    </message>
    <message>
        <source>The scanner %1 may not be read by this user: an administrator must install the package&apos;s udev rule.</source>
        <translation>Dieser Benutzer darf den Scanner %1 nicht lesen: Ein Administrator muss die udev-Regel des Pakets installieren.</translation>
    </message>
    <message>
        <source>Another program holds the scanner %1 exclusively: close that program.</source>
        <translation>Ein anderes Programm belegt den Scanner %1 exklusiv: Beenden Sie dieses Programm.</translation>
    </message>
    <message>
        <source>The scanner %1&apos;s battery is at %2 %: charge it or change its batteries.</source>
        <translation>Der Akku des Scanners %1 steht bei %2 %: Laden Sie ihn oder wechseln Sie die Batterien.</translation>
    </message>
    <message>
        <source>The server address %1 is not usable: correct it in Settings.</source>
        <translation>Die Serveradresse %1 ist unbrauchbar: Korrigieren Sie sie in den Einstellungen.</translation>
    </message>
    <message>
        <source>The scan server %1 does not answer: check the network and that the server runs.</source>
        <translation>Der Scan-Server %1 antwortet nicht: Prüfen Sie das Netzwerk und ob der Server läuft.</translation>
    </message>
    <message>
        <source>The scan server %1 answers with error %2: tell its administrator.</source>
        <translation>Der Scan-Server %1 antwortet mit Fehler %2: Informieren Sie seinen Administrator.</translation>
    </message>
    <message>
        <source>No scan server is set: enter its address in Settings.</source>
        <translation>Kein Scan-Server festgelegt: Geben Sie seine Adresse in den Einstellungen ein.</translation>
    </message>
    <message numerus="yes">
        <source>%n scan(s) wait to be sent, the oldest for %1 minutes.</source>
        <translation>
            <numerusform>%n Scan wartet auf das Senden, seit %1 Minuten.</numerusform>
            <numerusform>%n Scans warten auf das Senden, der älteste seit %1 Minuten.</numerusform>
        </translation>
    </message>
    <message>
        <source>Scans arriving</source>
        <translation>Scans kommen an</translation>
    </message>
</context>
<context>
    <name>EvdevKeyboard</name>
    <message>
        <source>Can&apos;t watch for keyboards being plugged in: %1</source>
        <translation>Neu eingesteckte Tastaturen werden nicht bemerkt: %1</translation>
    </message>
    <message>
        <source>Can&apos;t read the keyboards: %1</source>
        <translation>Tastaturen können nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>Can&apos;t watch keyboard %1 (%2): %3</source>
        <translation>Tastatur %1 (%2) kann nicht überwacht werden: %3</translation>
    </message>
</context>
<context>
    <name>ScanDelivery</name>
    <message>
        <source>Server certificate not trusted</source>
        <translation>Serverzertifikat nicht vertrauenswürdig</translation>
    </message>
    <message>
        <source>Server unreachable</source>
        <translation>Server nicht erreichbar</translation>
    </message>
    <message>
        <source>Server error %1</source>
        <translation>Serverfehler %1</translation>
    </message>
    <message>
        <source>Refused: %1 – %2</source>
        <translation>Abgelehnt: %1 – %2</translation>
    </message>
    <message>
        <source>Korvel: scan refused</source>
        <translation>Korvel: Scan abgelehnt</translation>
    </message>
    <message>
        <source>Korvel recording stopped</source>
        <translation>Korvel: Aufzeichnung beendet</translation>
    </message>
    <message>
        <source>No scans for a while. Scan the station QR to start again.</source>
        <translation>Eine Weile kein Scan. Scannen Sie den QR-Code der Station, um neu zu beginnen.</translation>
    </message>
</context>
<context>
    <name>ScanMeaning</name>
    <message>
        <source>unknown AI</source>
        <translation>unbekannter AI</translation>
    </message>
    <message>
        <source>a separator where an AI should begin</source>
        <translation>ein Trennzeichen, wo ein AI beginnen sollte</translation>
    </message>
    <message>
        <source>only digits are allowed</source>
        <translation>nur Ziffern sind erlaubt</translation>
    </message>
    <message>
        <source>a character that is not allowed</source>
        <translation>ein nicht erlaubtes Zeichen</translation>
    </message>
    <message>
        <source>the data is too short</source>
        <translation>die Daten sind zu kurz</translation>
    </message>
    <message>
        <source>the data is too long</source>
        <translation>die Daten sind zu lang</translation>
    </message>
    <message>
        <source>the check digit is wrong</source>
        <translation>die Prüfziffer ist falsch</translation>
    </message>
    <message>
        <source>not a valid date</source>
        <translation>kein gültiges Datum</translation>
    </message>
    <message>
        <source>not a valid time</source>
        <translation>keine gültige Uhrzeit</translation>
    </message>
</context>
<context>
    <name>ScanQueue</name>
    <message>
        <source>queue file not read yet: %1</source>
        <translation>Warteschlangendatei noch nicht gelesen: %1</translation>
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
        <translation>Einstellungen von Korvel Agent</translation>
    </message>
    <message>
        <source>Device ID: %1</source>
        <translation>Geräte-ID: %1</translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation>Verbindung testen</translation>
    </message>
    <message>
        <source>Find from a scan…</source>
        <translation>Per Scan ermitteln…</translation>
    </message>
    <message>
        <source>&amp;Server URL</source>
        <translation>&amp;Server-URL</translation>
    </message>
    <message>
        <source>Device &amp;name</source>
        <translation>Geräte&amp;name</translation>
    </message>
    <message>
        <source>Scanner &amp;layout</source>
        <translation>Scanner-&amp;Belegung</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>US (default)</source>
        <translation>US (Standard)</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>%1 (not known to this system)</source>
        <translation>%1 (diesem System unbekannt)</translation>
    </message>
    <message>
        <source>Enter the scan server&apos;s address, e.g. http://192.168.1.20:3000.</source>
        <translation>Geben Sie die Adresse des Scan-Servers ein, z. B. http://192.168.1.20:3000.</translation>
    </message>
    <message>
        <source>The address needs http:// or https:// in front.</source>
        <translation>Vor der Adresse muss http:// oder https:// stehen.</translation>
    </message>
    <message>
        <source>Only http:// and https:// addresses work.</source>
        <translation>Nur Adressen mit http:// oder https:// funktionieren.</translation>
    </message>
    <message>
        <source>The address lacks the server&apos;s name.</source>
        <translation>In der Adresse fehlt der Name des Servers.</translation>
    </message>
    <message>
        <source>This is not a usable address.</source>
        <translation>Das ist keine brauchbare Adresse.</translation>
    </message>
    <message>
        <source>Use %1</source>
        <translation>%1 verwenden</translation>
    </message>
    <message>
        <source>No layout of that name: choose one from the list.</source>
        <translation>Keine Belegung mit diesem Namen: Wählen Sie eine aus der Liste.</translation>
    </message>
    <message>
        <source>This layout is not known to this system: scans are read as US until another is chosen.</source>
        <translation>Diese Belegung ist dem System nicht bekannt: Scans werden als US gelesen, bis eine andere gewählt ist.</translation>
    </message>
    <message>
        <source>This layout cannot be used on this system: choose another.</source>
        <translation>Diese Belegung ist auf diesem System nicht nutzbar: Wählen Sie eine andere.</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>Wird getestet…</translation>
    </message>
    <message>
        <source>Reachable: the server accepted this station.</source>
        <translation>Erreichbar: Der Server hat diese Station angenommen.</translation>
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
        <translation>Tastaturzugriff erlauben…</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Start at login</source>
        <translation>Bei Anmeldung starten</translation>
    </message>
    <message>
        <source>Quit Korvel Agent</source>
        <translation>Korvel Agent beenden</translation>
    </message>
    <message>
        <source>Korvel Agent</source>
        <translation>Korvel Agent</translation>
    </message>
    <message>
        <source>Start at login could not be changed.</source>
        <translation>„Bei Anmeldung starten“ konnte nicht geändert werden.</translation>
    </message>
    <message>
        <source>Why no scans?…</source>
        <translation>Warum keine Scans?…</translation>
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
        <translation>Korvel Agent beenden?</translation>
    </message>
    <message>
        <source>Scans are no longer read or sent until Korvel Agent is started again.</source>
        <translation>Scans werden nicht mehr gelesen oder gesendet, bis Korvel Agent wieder gestartet wird.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Open Korvel Agent</source>
        <translation>Korvel Agent öffnen</translation>
    </message>
</context>
<context>
    <name>TestCode</name>
    <message>
        <source>Korvel Agent test code</source>
        <translation>Korvel Agent – Testcode</translation>
    </message>
    <message>
        <source>Data Matrix holding KV1, a space, the printable ASCII characters from ! to ~ in code order, GS (29), then KV1 again.</source>
        <translation>Data Matrix mit KV1, einem Leerzeichen, den druckbaren ASCII-Zeichen von ! bis ~ in Code-Reihenfolge, GS (29) und nochmals KV1.</translation>
    </message>
    <message>
        <source>%1 cannot be written.</source>
        <translation>%1 kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Choose Detect scanner in Korvel Agent&apos;s tray menu or window, then scan this code with the scanner. It tells the agent which scanner it is, which keyboard layout it was programmed for and how fast it types.</source>
        <translation>Wählen Sie „Scanner erkennen“ im Menü von Korvel Agent im Infobereich oder in seinem Fenster und scannen Sie dann diesen Code mit dem Scanner. So erfährt der Agent, welcher Scanner es ist, für welche Tastaturbelegung er programmiert wurde und wie schnell er tippt.</translation>
    </message>
</context>
<context>
    <name>WhyDialog</name>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nein</translation>
    </message>
    <message>
        <source>Why no scans?</source>
        <translation>Warum keine Scans?</translation>
    </message>
    <message>
        <source>Nothing keeps scans from arriving: the scanner is there and the server answers.</source>
        <translation>Nichts hält die Scans auf: Der Scanner ist da und der Server antwortet.</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Einzelheiten</translation>
    </message>
    <message>
        <source>Copy the report</source>
        <translation>Bericht kopieren</translation>
    </message>
    <message>
        <source>Korvel Agent %1, process %2</source>
        <translation>Korvel Agent %1, Prozess %2</translation>
    </message>
    <message>
        <source>Server %1: last answer %2, %3 s ago, reached: %4</source>
        <translation>Server %1: letzte Antwort %2, vor %3 s, erreicht: %4</translation>
    </message>
    <message>
        <source>Waiting to send: %1, the oldest for %2 s</source>
        <translation>Noch zu senden: %1, der älteste seit %2 s</translation>
    </message>
    <message>
        <source>, the chosen scanner</source>
        <translation>, der gewählte Scanner</translation>
    </message>
    <message>
        <source>  %1 at %2; connected: %3, readable: %4</source>
        <translation>  %1 an %2; angeschlossen: %3, lesbar: %4</translation>
    </message>
    <message>
        <source>  inhibited: %1, authorised: %2, battery: %3 %</source>
        <translation>  abgeschaltet: %1, autorisiert: %2, Akku: %3 %</translation>
    </message>
    <message>
        <source>  last key %1 s ago, scans since start: %2, held by another program: %3</source>
        <translation>  letzte Taste vor %1 s, Scans seit Start: %2, von anderem Programm belegt: %3</translation>
    </message>
</context>
<context>
    <name>XdgAutostart</name>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>The application&apos;s desktop entry %1 was not found.</source>
        <translation>Der Desktop-Eintrag %1 der Anwendung wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>%1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Could not remove %1.</source>
        <translation>%1 konnte nicht entfernt werden.</translation>
    </message>
</context>
</TS>
