<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en">
<context>
    <name>AccessHelpDialog</name>
    <message>
        <source>Allow keyboard access</source>
        <translation>Autoriser l&apos;accès au clavier</translation>
    </message>
    <message>
        <source>Let Korvel Agent read the scanner</source>
        <translation>Laisser Korvel Agent lire le lecteur</translation>
    </message>
    <message>
        <source>Korvel Agent reads the key events of keyboards to see what the barcode scanner types. It only reads them: typing keeps working everywhere. An administrator of this station grants the access with a udev rule, in these steps.</source>
        <translation>Korvel Agent lit les événements de touches des claviers pour voir ce que tape le lecteur de codes-barres. Il ne fait que les lire : la saisie fonctionne toujours partout. Un administrateur de ce poste accorde l&apos;accès avec une règle udev, en suivant ces étapes.</translation>
    </message>
    <message>
        <source>1. Install the rule. The korvel-agent package installs it as /lib/udev/rules.d/%1; without the package, copy it from the source folder:</source>
        <translation>1. Installez la règle. Le paquet korvel-agent l&apos;installe sous /lib/udev/rules.d/%1 ; sans le paquet, copiez-la depuis le dossier des sources :</translation>
    </message>
    <message>
        <source>Only the scanner (optional)</source>
        <translation>Uniquement le lecteur (facultatif)</translation>
    </message>
    <message>
        <source>Once the scanner is chosen, this help gives the commands that let only it be read. Or give its VID:PID as lsusb shows it: korvel-agent --udev-rule VID:PID prints that rule; saved as %1 it replaces the packaged one.</source>
        <translation>Une fois le lecteur choisi, cette aide donne les commandes qui ne permettent de lire que lui. Ou indiquez son VID:PID tel que lsusb l&apos;affiche : korvel-agent --udev-rule VID:PID affiche cette règle ; enregistrée sous %1, elle remplace celle du paquet.</translation>
    </message>
    <message>
        <source>No other keyboard can then be read, and detection finds only this device. Keyboards readable before may stay so until they are plugged in again or the station restarts.</source>
        <translation>Aucun autre clavier ne peut alors être lu, et la détection ne trouve que ce périphérique. Les claviers lisibles auparavant peuvent le rester jusqu&apos;à ce qu&apos;ils soient rebranchés ou que le poste redémarre.</translation>
    </message>
    <message>
        <source>Adding the account to the input group is no substitute: it lets the account read every input device, passwords typed anywhere included, for good and from every login, remote ones too.</source>
        <translation>Ajouter le compte au groupe input n&apos;est pas une solution de rechange : le compte pourrait alors lire tous les périphériques d&apos;entrée, y compris les mots de passe tapés n&apos;importe où, de façon permanente et depuis n&apos;importe quelle connexion, même à distance.</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
    <message>
        <source>Copy this line, to paste it into a terminal</source>
        <translation>Copier cette ligne pour la coller dans un terminal</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Copié</translation>
    </message>
    <message>
        <source>It lets whoever&apos;s session is in front at this station read every keyboard (read only), which choosing the scanner by scanning needs, and scanners of known makers in HID POS or USB serial mode:</source>
        <translation>Elle permet à la session au premier plan sur ce poste de lire chaque clavier (en lecture seule), ce dont le choix du lecteur par un scan a besoin, ainsi que les lecteurs des fabricants connus en mode HID POS ou série USB :</translation>
    </message>
    <message>
        <source>That writes these rules (keyboard, HID POS and USB serial mode):</source>
        <translation>Cela écrit ces règles (mode clavier, HID POS et série USB) :</translation>
    </message>
    <message>
        <source>The rule is installed already, as %1.</source>
        <translation>La règle est déjà installée, sous %1.</translation>
    </message>
    <message>
        <source>%1. Apply it to the keyboards plugged in already:</source>
        <translation>%1. Appliquez-la aux claviers déjà branchés :</translation>
    </message>
    <message>
        <source>%1. Wait up to 5 seconds: Korvel Agent notices the access by itself, and its menu or window shows the scanner instead. If it does not, plug the scanner in again.</source>
        <translation>%1. Attendez jusqu&apos;à 5 secondes : Korvel Agent remarque l&apos;accès de lui-même et son menu ou sa fenêtre affiche alors le lecteur. Sinon, rebranchez le lecteur.</translation>
    </message>
    <message>
        <source>%1. Replace the rule with one for the scanner %2 alone:</source>
        <translation>%1. Remplacez la règle par une règle pour le seul lecteur %2 :</translation>
    </message>
    <message>
        <source>%1. Apply it as in step %2:</source>
        <translation>%1. Appliquez-la comme à l&apos;étape %2 :</translation>
    </message>
</context>
<context>
    <name>Agent</name>
    <message>
        <source>Scanner too slow to detect</source>
        <translation>Lecteur trop lent pour être détecté</translation>
    </message>
    <message>
        <source>%1 types too slowly to be told from a keyboard. To choose it, scan the test code in the Detect scanner window.</source>
        <translation>%1 tape trop lentement pour être distingué d&apos;un clavier. Pour le choisir, lisez le code de test dans la fenêtre « Détecter le lecteur ».</translation>
    </message>
    <message>
        <source>Korvel Agent</source>
        <translation>Korvel Agent</translation>
    </message>
    <message>
        <source>Keyboard access granted. %1</source>
        <translation>Accès au clavier accordé. %1</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards yet. Ask an administrator to grant keyboard access: the tray menu&apos;s help shows the steps.</source>
        <translation>Korvel Agent n&apos;a pas encore le droit de lire les claviers. Demandez à un administrateur d&apos;accorder l&apos;accès au clavier : l&apos;aide du menu de la zone de notification indique les étapes.</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards yet. Ask an administrator to grant keyboard access: the Korvel Agent window&apos;s help shows the steps.</source>
        <translation>Korvel Agent n&apos;a pas encore le droit de lire les claviers. Demandez à un administrateur d&apos;accorder l&apos;accès au clavier : l&apos;aide de la fenêtre de Korvel Agent indique les étapes.</translation>
    </message>
    <message>
        <source>Next, the scanner: click the Korvel icon in the system tray, choose Detect scanner, then scan any barcode.</source>
        <translation>Ensuite, le lecteur : cliquez sur l&apos;icône Korvel dans la zone de notification, choisissez « Détecter le lecteur », puis lisez un code-barres quelconque.</translation>
    </message>
    <message>
        <source>Next, the scanner: choose Detect scanner in the Korvel Agent window, then scan any barcode.</source>
        <translation>Ensuite, le lecteur : choisissez « Détecter le lecteur » dans la fenêtre de Korvel Agent, puis lisez un code-barres quelconque.</translation>
    </message>
    <message>
        <source>Next, the server: choose Settings… in the tray menu and enter the scan server&apos;s address. Until it is reached, scans wait on this station.</source>
        <translation>Ensuite, le serveur : choisissez « Paramètres… » dans le menu de la zone de notification et saisissez l&apos;adresse du serveur de scan. Tant qu&apos;il n&apos;est pas joint, les lectures attendent sur ce poste.</translation>
    </message>
    <message>
        <source>Next, the server: choose Settings… in the Korvel Agent window and enter the scan server&apos;s address. Until it is reached, scans wait on this station.</source>
        <translation>Ensuite, le serveur : choisissez « Paramètres… » dans la fenêtre de Korvel Agent et saisissez l&apos;adresse du serveur de scan. Tant qu&apos;il n&apos;est pas joint, les lectures attendent sur ce poste.</translation>
    </message>
    <message>
        <source>Korvel Agent: scanner layout unknown</source>
        <translation>Korvel Agent : disposition du lecteur inconnue</translation>
    </message>
    <message>
        <source>The scanner layout &quot;%1&quot; is not known to this system: scans are read as US. Choose the scanner&apos;s layout in Settings….</source>
        <translation>La disposition du lecteur « %1 » est inconnue de ce système : les lectures sont interprétées en US. Choisissez la disposition du lecteur dans Paramètres….</translation>
    </message>
    <message>
        <source>Scanner %1: %2 layout</source>
        <translation>Lecteur %1 : disposition %2</translation>
    </message>
    <message>
        <source>It adds %1 before each barcode.</source>
        <translation>Il ajoute %1 avant chaque code-barres.</translation>
    </message>
    <message>
        <source>It adds %1 after each barcode.</source>
        <translation>Il ajoute %1 après chaque code-barres.</translation>
    </message>
    <message>
        <source>It sends control characters as Alt codes.</source>
        <translation>Il envoie les caractères de contrôle sous forme de codes Alt.</translation>
    </message>
    <message>
        <source>Scanner selected</source>
        <translation>Lecteur sélectionné</translation>
    </message>
    <message>
        <source>Paused while another user is at this station</source>
        <translation>En pause : un autre utilisateur est au poste</translation>
    </message>
    <message>
        <source>Keyboard access is off: Korvel can&apos;t read the scanner</source>
        <translation>Pas d&apos;accès au clavier : Korvel ne peut pas lire le lecteur</translation>
    </message>
    <message>
        <source>Scan any barcode with the scanner now…</source>
        <translation>Lisez maintenant un code-barres avec le lecteur…</translation>
    </message>
    <message>
        <source>Scanner not connected: %1</source>
        <translation>Lecteur non branché : %1</translation>
    </message>
    <message>
        <source>Scanner: %1 · %2</source>
        <translation>Lecteur : %1 · %2</translation>
    </message>
    <message>
        <source>No scanner chosen: use Detect scanner</source>
        <translation>Aucun lecteur choisi : utilisez « Détecter le lecteur »</translation>
    </message>
    <message>
        <source> · Unknown layout &quot;%1&quot;, read as US</source>
        <translation> · Disposition « %1 » inconnue, lue en US</translation>
    </message>
    <message>
        <source>Waiting to send: %1</source>
        <translation>En attente d&apos;envoi : %1</translation>
    </message>
    <message>
        <source> · Not saved to disk (%1)</source>
        <translation> · Non enregistré sur le disque (%1)</translation>
    </message>
    <message>
        <source> · Unreadable queue file kept as %1</source>
        <translation> · Fichier de file d&apos;attente illisible conservé sous %1</translation>
    </message>
    <message>
        <source>The server URL is not usable: correct it in Settings</source>
        <translation>L&apos;URL du serveur est inutilisable : corrigez-la dans les paramètres</translation>
    </message>
    <message>
        <source>Scans are waiting for the server: %1</source>
        <translation>Des lectures attendent le serveur : %1</translation>
    </message>
    <message>
        <source>Korvel · %1</source>
        <translation>Korvel · %1</translation>
    </message>
    <message>
        <source>no scanner chosen</source>
        <translation>aucun lecteur choisi</translation>
    </message>
    <message>
        <source>Server address not usable: see Settings…</source>
        <translation>Adresse du serveur inutilisable : voir Paramètres…</translation>
    </message>
    <message>
        <source>Server: %1 (the default) · reached</source>
        <translation>Serveur : %1 (par défaut) · joint</translation>
    </message>
    <message>
        <source>Server not set yet: see Settings…</source>
        <translation>Serveur pas encore défini : voir Paramètres…</translation>
    </message>
    <message>
        <source>Server: %1 · reached</source>
        <translation>Serveur : %1 · joint</translation>
    </message>
    <message>
        <source>Server: %1 · not reached yet</source>
        <translation>Serveur : %1 · pas encore joint</translation>
    </message>
    <message>
        <source>Cancel detection</source>
        <translation>Annuler la détection</translation>
    </message>
    <message>
        <source>Detect scanner (scan now)</source>
        <translation>Détecter le lecteur (lire un code)</translation>
    </message>
    <message>
        <source>Starting at login is not available here.</source>
        <translation>Le démarrage à l&apos;ouverture de session n&apos;est pas disponible ici.</translation>
    </message>
    <message>
        <source>It was chosen by the barcode &quot;%1&quot;, which was not sent: scan it again to send it.</source>
        <translation>Choisi par le code-barres « %1 », qui n’a pas été envoyé : scannez-le à nouveau pour l’envoyer.</translation>
    </message>
    <message>
        <source>Korvel: barcode data faulty</source>
        <translation>Korvel : données du code-barres erronées</translation>
    </message>
    <message>
        <source> · HID POS</source>
        <translation> · HID POS</translation>
    </message>
    <message>
        <source> · USB serial</source>
        <translation> · série USB</translation>
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
        <translation>Utilisation : korvel-agent [--help | --version | --queue | --diagnose | --udev-rule [VID:PID]]

Korvel Agent lit le lecteur de codes-barres choisi dans le menu de son icône de
la zone de notification ou dans sa fenêtre, et envoie chaque lecture au serveur
de scan défini dans ses paramètres. Tout le reste se règle au même endroit.

  -h, --help               afficher ce texte et quitter
  -v, --version            afficher la version et quitter
      --queue              afficher les lectures en attente d&apos;envoi, de la plus
                           ancienne à la plus récente, sous forme de tableau JSON
                           de {&quot;value&quot;,&quot;ts&quot;}, et quitter (sans risque pendant
                           que l&apos;agent tourne)
      --diagnose           afficher le rapport d&apos;assistance (agent, serveur,
                           file d&apos;attente, périphériques et ce qui empêche les
                           lectures d&apos;arriver) en un objet JSON, et quitter
      --udev-rule [VID:PID], --udev-rule=VID:PID
                           afficher une règle udev qui permet à l&apos;utilisateur
                           présent au poste de lire uniquement ce périphérique
                           (par défaut le lecteur choisi), à enregistrer sous
                           /etc/udev/rules.d/70-korvel-agent.rules
</translation>
    </message>
</context>
<context>
    <name>DetectWindow</name>
    <message>
        <source>Detect scanner</source>
        <translation>Détecter le lecteur</translation>
    </message>
    <message>
        <source>Scan this code, or any barcode</source>
        <translation>Lisez ce code ou un code-barres quelconque</translation>
    </message>
    <message>
        <source>The test code cannot be drawn here.</source>
        <translation>Le code de test ne peut pas être dessiné ici.</translation>
    </message>
    <message>
        <source>The test code also tells the scanner&apos;s keyboard layout and pace.</source>
        <translation>Le code de test indique aussi la disposition de clavier et la cadence du lecteur.</translation>
    </message>
    <message>
        <source>Print…</source>
        <translation>Imprimer…</translation>
    </message>
    <message>
        <source>Save as PDF…</source>
        <translation>Enregistrer en PDF…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Korvel Agent test code</source>
        <translation>Code de test de Korvel Agent</translation>
    </message>
    <message>
        <source>The page could not be printed.</source>
        <translation>La page n&apos;a pas pu être imprimée.</translation>
    </message>
    <message>
        <source>Save the test code</source>
        <translation>Enregistrer le code de test</translation>
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
        <translation>Korvel Agent ne tourne pas pour cet utilisateur : lancez-le depuis le menu des applications ou reconnectez-vous.</translation>
    </message>
    <message>
        <source>Another user is at this station: the scanner is read only while this user&apos;s session is in front.</source>
        <translation>Un autre utilisateur est au poste : le lecteur n&apos;est lu que lorsque la session de cet utilisateur est au premier plan.</translation>
    </message>
    <message>
        <source>Korvel Agent may not read the keyboards: an administrator must install the package&apos;s udev rule or the one korvel-agent --udev-rule prints.</source>
        <translation>Korvel Agent n&apos;a pas le droit de lire les claviers : un administrateur doit installer la règle udev du paquet ou celle qu&apos;affiche korvel-agent --udev-rule.</translation>
    </message>
    <message>
        <source>The keyboards cannot be read: %1.</source>
        <translation>Les claviers ne peuvent pas être lus : %1.</translation>
    </message>
    <message>
        <source>No scanner is chosen: choose Detect scanner in the tray menu or the Korvel Agent window, then scan any barcode.</source>
        <translation>Aucun lecteur choisi : choisissez « Détecter le lecteur » dans le menu de la zone de notification ou la fenêtre de Korvel Agent, puis lisez un code-barres quelconque.</translation>
    </message>
    <message>
        <source>The scanner %1 is not connected: check its cable, or that it is switched on and paired.</source>
        <translation>Le lecteur %1 n&apos;est pas connecté : vérifiez son câble, ou qu&apos;il est allumé et appairé.</translation>
    </message>
    <message>
        <source>The scanner %1 is blocked by the system&apos;s USB authorisation: an administrator must allow the device.</source>
        <translation>Le lecteur %1 est bloqué par l&apos;autorisation USB du système : un administrateur doit autoriser le périphérique.</translation>
    </message>
    <message>
        <source>The system has switched off the input of the scanner %1 (inhibited): end the program that did so, or unplug and plug in the scanner.</source>
        <translation>Le système a coupé les entrées du lecteur %1 (inhibited) : fermez le programme qui l&apos;a fait, ou débranchez et rebranchez le lecteur.</translation>
    </message>
    <message>
        <source>The scanner %1 may not be read by this user: an administrator must install the package&apos;s udev rule.</source>
        <translation>Cet utilisateur n&apos;a pas le droit de lire le lecteur %1 : un administrateur doit installer la règle udev du paquet.</translation>
    </message>
    <message>
        <source>Another program holds the scanner %1 exclusively: close that program.</source>
        <translation>Un autre programme s&apos;est réservé le lecteur %1 : fermez ce programme.</translation>
    </message>
    <message>
        <source>The scanner %1&apos;s battery is at %2 %: charge it or change its batteries.</source>
        <translation>La batterie du lecteur %1 est à %2 % : rechargez-la ou changez les piles.</translation>
    </message>
    <message>
        <source>The server address %1 is not usable: correct it in Settings.</source>
        <translation>L&apos;adresse du serveur %1 est inutilisable : corrigez-la dans les paramètres.</translation>
    </message>
    <message>
        <source>The scan server %1 does not answer: check the network and that the server runs.</source>
        <translation>Le serveur de scan %1 ne répond pas : vérifiez le réseau et que le serveur tourne.</translation>
    </message>
    <message>
        <source>The scan server %1 answers with error %2: tell its administrator.</source>
        <translation>Le serveur de scan %1 répond par l&apos;erreur %2 : prévenez son administrateur.</translation>
    </message>
    <message>
        <source>No scan server is set: enter its address in Settings.</source>
        <translation>Aucun serveur de scan n&apos;est défini : saisissez son adresse dans les paramètres.</translation>
    </message>
    <message numerus="yes">
        <source>%n scan(s) wait to be sent, the oldest for %1 minutes.</source>
        <translation>
            <numerusform>%n lecture attend d&apos;être envoyée, depuis %1 minutes.</numerusform>
            <numerusform>%n lectures attendent d&apos;être envoyées, la plus ancienne depuis %1 minutes.</numerusform>
        </translation>
    </message>
    <message>
        <source>Scans arriving</source>
        <translation>Les lectures arrivent</translation>
    </message>
</context>
<context>
    <name>EvdevKeyboard</name>
    <message>
        <source>Can&apos;t watch for keyboards being plugged in: %1</source>
        <translation>Impossible de surveiller le branchement des claviers : %1</translation>
    </message>
    <message>
        <source>Can&apos;t read the keyboards: %1</source>
        <translation>Impossible de lire les claviers : %1</translation>
    </message>
    <message>
        <source>Can&apos;t watch keyboard %1 (%2): %3</source>
        <translation>Impossible de surveiller le clavier %1 (%2) : %3</translation>
    </message>
</context>
<context>
    <name>ScanDelivery</name>
    <message>
        <source>Server certificate not trusted</source>
        <translation>Certificat du serveur non reconnu</translation>
    </message>
    <message>
        <source>Server unreachable</source>
        <translation>Serveur injoignable</translation>
    </message>
    <message>
        <source>Server error %1</source>
        <translation>Erreur du serveur %1</translation>
    </message>
    <message>
        <source>Refused: %1 – %2</source>
        <translation>Refusé : %1 – %2</translation>
    </message>
    <message>
        <source>Korvel: scan refused</source>
        <translation>Korvel : lecture refusée</translation>
    </message>
    <message>
        <source>Korvel recording stopped</source>
        <translation>Korvel : enregistrement arrêté</translation>
    </message>
    <message>
        <source>No scans for a while. Scan the station QR to start again.</source>
        <translation>Aucune lecture depuis un moment. Lisez le QR code du poste pour recommencer.</translation>
    </message>
</context>
<context>
    <name>ScanMeaning</name>
    <message>
        <source>unknown AI</source>
        <translation>AI inconnu</translation>
    </message>
    <message>
        <source>a separator where an AI should begin</source>
        <translation>un séparateur là où un AI devrait commencer</translation>
    </message>
    <message>
        <source>only digits are allowed</source>
        <translation>seuls les chiffres sont autorisés</translation>
    </message>
    <message>
        <source>a character that is not allowed</source>
        <translation>un caractère non autorisé</translation>
    </message>
    <message>
        <source>the data is too short</source>
        <translation>les données sont trop courtes</translation>
    </message>
    <message>
        <source>the data is too long</source>
        <translation>les données sont trop longues</translation>
    </message>
    <message>
        <source>the check digit is wrong</source>
        <translation>le chiffre de contrôle est faux</translation>
    </message>
    <message>
        <source>not a valid date</source>
        <translation>date non valide</translation>
    </message>
    <message>
        <source>not a valid time</source>
        <translation>heure non valide</translation>
    </message>
</context>
<context>
    <name>ScanQueue</name>
    <message>
        <source>queue file not read yet: %1</source>
        <translation>fichier de file d&apos;attente pas encore lu : %1</translation>
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
        <translation>Paramètres de Korvel Agent</translation>
    </message>
    <message>
        <source>Device ID: %1</source>
        <translation>Identifiant de l&apos;appareil : %1</translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation>Tester la connexion</translation>
    </message>
    <message>
        <source>Find from a scan…</source>
        <translation>Trouver par une lecture…</translation>
    </message>
    <message>
        <source>&amp;Server URL</source>
        <translation>URL du &amp;serveur</translation>
    </message>
    <message>
        <source>Device &amp;name</source>
        <translation>&amp;Nom de l&apos;appareil</translation>
    </message>
    <message>
        <source>Scanner &amp;layout</source>
        <translation>&amp;Disposition du lecteur</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Enregistrer</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>US (default)</source>
        <translation>US (par défaut)</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>%1 (not known to this system)</source>
        <translation>%1 (inconnue de ce système)</translation>
    </message>
    <message>
        <source>Enter the scan server&apos;s address, e.g. http://192.168.1.20:3000.</source>
        <translation>Saisissez l&apos;adresse du serveur de scan, par ex. http://192.168.1.20:3000.</translation>
    </message>
    <message>
        <source>The address needs http:// or https:// in front.</source>
        <translation>L&apos;adresse doit commencer par http:// ou https://.</translation>
    </message>
    <message>
        <source>Only http:// and https:// addresses work.</source>
        <translation>Seules les adresses http:// et https:// fonctionnent.</translation>
    </message>
    <message>
        <source>The address lacks the server&apos;s name.</source>
        <translation>Il manque le nom du serveur dans l&apos;adresse.</translation>
    </message>
    <message>
        <source>This is not a usable address.</source>
        <translation>Cette adresse n&apos;est pas utilisable.</translation>
    </message>
    <message>
        <source>Use %1</source>
        <translation>Utiliser %1</translation>
    </message>
    <message>
        <source>No layout of that name: choose one from the list.</source>
        <translation>Aucune disposition de ce nom : choisissez-en une dans la liste.</translation>
    </message>
    <message>
        <source>This layout is not known to this system: scans are read as US until another is chosen.</source>
        <translation>Cette disposition est inconnue de ce système : les lectures sont interprétées en US jusqu&apos;au choix d&apos;une autre.</translation>
    </message>
    <message>
        <source>This layout cannot be used on this system: choose another.</source>
        <translation>Cette disposition n&apos;est pas utilisable sur ce système : choisissez-en une autre.</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>Test en cours…</translation>
    </message>
    <message>
        <source>Reachable: the server accepted this station.</source>
        <translation>Joignable : le serveur a accepté ce poste.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1 : %2</translation>
    </message>
</context>
<context>
    <name>StatusMenu</name>
    <message>
        <source>Allow keyboard access…</source>
        <translation>Autoriser l&apos;accès au clavier…</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Paramètres…</translation>
    </message>
    <message>
        <source>Start at login</source>
        <translation>Lancer à l&apos;ouverture de session</translation>
    </message>
    <message>
        <source>Quit Korvel Agent</source>
        <translation>Quitter Korvel Agent</translation>
    </message>
    <message>
        <source>Korvel Agent</source>
        <translation>Korvel Agent</translation>
    </message>
    <message>
        <source>Start at login could not be changed.</source>
        <translation>Le lancement à l&apos;ouverture de session n&apos;a pas pu être modifié.</translation>
    </message>
    <message>
        <source>Why no scans?…</source>
        <translation>Pourquoi aucune lecture ?…</translation>
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
        <translation>Quitter Korvel Agent ?</translation>
    </message>
    <message>
        <source>Scans are no longer read or sent until Korvel Agent is started again.</source>
        <translation>Les lectures ne sont plus lues ni envoyées jusqu&apos;au prochain démarrage de Korvel Agent.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Open Korvel Agent</source>
        <translation>Ouvrir Korvel Agent</translation>
    </message>
</context>
<context>
    <name>TestCode</name>
    <message>
        <source>Korvel Agent test code</source>
        <translation>Code de test de Korvel Agent</translation>
    </message>
    <message>
        <source>Data Matrix holding KV1, a space, the printable ASCII characters from ! to ~ in code order, GS (29), then KV1 again.</source>
        <translation>Data Matrix contenant KV1, une espace, les caractères ASCII imprimables de ! à ~ dans l&apos;ordre des codes, GS (29), puis de nouveau KV1.</translation>
    </message>
    <message>
        <source>%1 cannot be written.</source>
        <translation>Impossible d&apos;écrire %1.</translation>
    </message>
    <message>
        <source>Choose Detect scanner in Korvel Agent&apos;s tray menu or window, then scan this code with the scanner. It tells the agent which scanner it is, which keyboard layout it was programmed for and how fast it types.</source>
        <translation>Choisissez « Détecter le lecteur » dans le menu de Korvel Agent de la zone de notification ou dans sa fenêtre, puis lisez ce code avec le lecteur. L&apos;agent apprend ainsi de quel lecteur il s&apos;agit, pour quelle disposition de clavier il a été programmé et à quelle vitesse il tape.</translation>
    </message>
</context>
<context>
    <name>WhyDialog</name>
    <message>
        <source>unknown</source>
        <translation>inconnu</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>oui</translation>
    </message>
    <message>
        <source>no</source>
        <translation>non</translation>
    </message>
    <message>
        <source>Why no scans?</source>
        <translation>Pourquoi aucune lecture ?</translation>
    </message>
    <message>
        <source>Nothing keeps scans from arriving: the scanner is there and the server answers.</source>
        <translation>Rien n&apos;empêche les lectures d&apos;arriver : le lecteur est là et le serveur répond.</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Détails</translation>
    </message>
    <message>
        <source>Copy the report</source>
        <translation>Copier le rapport</translation>
    </message>
    <message>
        <source>Korvel Agent %1, process %2</source>
        <translation>Korvel Agent %1, processus %2</translation>
    </message>
    <message>
        <source>Server %1: last answer %2, %3 s ago, reached: %4</source>
        <translation>Serveur %1 : dernière réponse %2, il y a %3 s, joint : %4</translation>
    </message>
    <message>
        <source>Waiting to send: %1, the oldest for %2 s</source>
        <translation>En attente d&apos;envoi : %1, la plus ancienne depuis %2 s</translation>
    </message>
    <message>
        <source>, the chosen scanner</source>
        <translation>, le lecteur choisi</translation>
    </message>
    <message>
        <source>  %1 at %2; connected: %3, readable: %4</source>
        <translation>  %1 sur %2 ; connecté : %3, lisible : %4</translation>
    </message>
    <message>
        <source>  inhibited: %1, authorised: %2, battery: %3 %</source>
        <translation>  inhibé : %1, autorisé : %2, batterie : %3 %</translation>
    </message>
    <message>
        <source>  last key %1 s ago, scans since start: %2, held by another program: %3</source>
        <translation>  dernière touche il y a %1 s, lectures depuis le démarrage : %2, réservé par un autre programme : %3</translation>
    </message>
</context>
<context>
    <name>XdgAutostart</name>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Impossible de créer le dossier %1.</translation>
    </message>
    <message>
        <source>The application&apos;s desktop entry %1 was not found.</source>
        <translation>L&apos;entrée de bureau %1 de l&apos;application est introuvable.</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>Impossible d&apos;écrire %1 : %2</translation>
    </message>
    <message>
        <source>Could not remove %1.</source>
        <translation>Impossible de supprimer %1.</translation>
    </message>
</context>
</TS>
