<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ErrorHandleDialog</name>
    <message>
        <location filename="../errorhandledialog.ui" line="14"/>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="37"/>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="58"/>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="86"/>
        <source>The software closes unexpectedly, do you need to save the items needed to analyze the problem?</source>
        <translation>Die Software wurde unerwartet beendet. Möchten Sie die zur Analyse des Problems benötigten Daten speichern?</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="96"/>
        <source>Save Crash Log To</source>
        <translation>Absturzprotokoll speichern unter</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="98"/>
        <source>Zip File (*.zip)</source>
        <translation>ZIP-Datei (*.zip)</translation>
    </message>
</context>
</TS>
