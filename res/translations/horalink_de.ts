<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>About program</source>
        <translation>Über das Programm</translation>
    </message>
    <message>
        <source>Copyright (C) 2026 the Horalink developers</source>
        <translation>Copyright (C) 2026 die Horalink-Entwickler</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Open the home site in the web browser</source>
        <translation>Die Website im Webbrowser öffnen</translation>
    </message>
    <message>
        <source>Home site:</source>
        <translation>Website:</translation>
    </message>
    <message>
        <source>E-mail support:</source>
        <translation>E-Mail-Support:</translation>
    </message>
    <message>
        <source>Write an e-mail to support</source>
        <translation>Eine E-Mail an den Support schreiben</translation>
    </message>
</context>
<context>
    <name>CSyncDlg</name>
    <message>
        <source>Digital clock</source>
        <translation>Digitaluhr</translation>
    </message>
    <message>
        <source>The computer&apos;s time</source>
        <translation>Die Uhrzeit des Computers</translation>
    </message>
    <message>
        <source>Analogue clock</source>
        <translation>Analoguhr</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>What the program did and what the time server answered</source>
        <translation>Was das Programm getan und was der Zeitserver geantwortet hat</translation>
    </message>
    <message>
        <source>Get the time</source>
        <translation>Zeit abrufen</translation>
    </message>
    <message>
        <source>Ask the selected time server for the time</source>
        <translation>Den gewählten Zeitserver nach der Uhrzeit fragen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Set the clock</source>
        <translation>Uhr stellen</translation>
    </message>
    <message>
        <source>Set this computer&apos;s clock by the time server&apos;s answer</source>
        <translation>Die Uhr dieses Computers nach der Antwort des Zeitservers stellen</translation>
    </message>
    <message>
        <source>Adjust</source>
        <translation>Stellen</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>Minimieren</translation>
    </message>
    <message>
        <source>Minimize the window</source>
        <translation>Das Fenster minimieren</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Show the program&apos;s version and where to find help</source>
        <translation>Version des Programms und Hilfe anzeigen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Close the program</source>
        <translation>Das Programm beenden</translation>
    </message>
    <message>
        <source>Time server</source>
        <translation>Zeitserver</translation>
    </message>
    <message>
        <source>The time server to ask: choose one from the list or type its name</source>
        <translation>Der zu fragende Zeitserver: aus der Liste wählen oder seinen Namen eingeben</translation>
    </message>
</context>
<context>
    <name>SyncSteps</name>
    <message>
        <source>Failed to retreive time from server</source>
        <translation>Zeitabruf vom Server fehlgeschlagen</translation>
    </message>
    <message>
        <source>Time was successfully synchronised</source>
        <translation>Die Uhr wurde erfolgreich gestellt</translation>
    </message>
    <message>
        <source>Failed to set the local time</source>
        <translation>Stellen der lokalen Uhr fehlgeschlagen</translation>
    </message>
    <message>
        <source>Failed to load winsock stack<byte value="xd"/>
</source>
        <translation>Netzwerkbibliothek konnte nicht geladen werden<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Winsock stack does not support version which this program requires<byte value="xd"/>
</source>
        <translation>Netzwerkbibliothek unterstützt die benötigte Version nicht<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Time was successfully retreived</source>
        <translation>Die Zeit wurde erfolgreich abgerufen</translation>
    </message>
    <message>
        <source>CLIENT DESTINATION DATE:</source>
        <translation>ZIELDATUM DES CLIENTS:</translation>
    </message>
    <message>
        <source>LOCAL CLOCK OFFSET:</source>
        <translation>ABWEICHUNG DER LOKALEN UHR:</translation>
    </message>
    <message>
        <source>Looking up   --- %1 ---</source>
        <translation>Suche   --- %1 ---</translation>
    </message>
    <message>
        <source>         %f seconds</source>
        <translation>         %f Sekunden</translation>
    </message>
    <message>
        <source>The time came authenticated (NTS)</source>
        <translation>Die Zeit kam authentifiziert (NTS)</translation>
    </message>
</context>
<context>
    <name>SystemClockSetter</name>
    <message>
        <source>Automatic time synchronisation keeps the clock and reports it synchronised</source>
        <translation>Die automatische Zeitsynchronisation führt die Uhr und meldet sie synchronisiert</translation>
    </message>
    <message>
        <source>Automatic time synchronisation keeps the clock and does not report it synchronised</source>
        <translation>Die automatische Zeitsynchronisation führt die Uhr und meldet sie nicht synchronisiert</translation>
    </message>
</context>
<context>
    <name>WindowClockConsent</name>
    <message>
        <source>Turn off automatic time and set the clock</source>
        <translation>Automatische Zeit ausschalten und Uhr stellen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>reports the clock synchronised</source>
        <translation>meldet die Uhr synchronisiert</translation>
    </message>
    <message>
        <source>does not report the clock synchronised</source>
        <translation>meldet die Uhr nicht synchronisiert</translation>
    </message>
    <message>
        <source>Automatic time synchronisation keeps this computer&apos;s clock and %1.

The clock can be set only while automatic time is off. It stays off until it is turned on again (timedatectl set-ntp true, or the desktop&apos;s date and time settings).</source>
        <translation>Die automatische Zeitsynchronisation führt die Uhr dieses Computers und %1.

Die Uhr lässt sich nur stellen, während die automatische Zeit aus ist. Sie bleibt aus, bis sie wieder eingeschaltet wird (timedatectl set-ntp true oder die Datums- und Zeiteinstellungen des Desktops).</translation>
    </message>
    <message>
        <source>The server&apos;s answer is not authenticated: anyone on the way could have written it.

Set the clock to %1 (local time), %2 seconds from now?</source>
        <translation>Die Antwort des Servers ist nicht authentifiziert: Jeder auf dem Weg könnte sie geschrieben haben.

Die Uhr auf %1 (Ortszeit) stellen, %2 Sekunden von jetzt?</translation>
    </message>
</context>
<context>
    <name>WindowMenu</name>
    <message>
        <source>Minimize</source>
        <translation>Minimieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>About ...</source>
        <translation>Info ...</translation>
    </message>
</context>
</TS>
