<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en">
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
        <translation>Utilisation : korvel-agent [--help | --version | --udev-rule [VID:PID]]

Korvel Agent lit le lecteur de codes-barres choisi dans le menu de son icône de
la zone de notification et envoie chaque lecture au serveur de scan défini dans
ses paramètres. Tout le reste se règle depuis ce menu.

  -h, --help               afficher ce texte et quitter
  -v, --version            afficher la version et quitter
      --udev-rule [VID:PID]
                           afficher une règle udev qui permet à l&apos;utilisateur
                           présent au poste de lire uniquement ce périphérique
                           (par défaut le lecteur choisi), à enregistrer sous
                           /etc/udev/rules.d/70-korvel-agent.rules
</translation>
    </message>
</context>
</TS>
