<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fi_FI">
<context>
    <name>ErrorHandleDialog</name>
    <message>
        <location filename="../errorhandledialog.ui" line="14"/>
        <source>Dialog</source>
        <translation>Valintaikkuna</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="37"/>
        <source>Save</source>
        <translation>Tallenna</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="58"/>
        <source>Cancel</source>
        <translation>Peruuta</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="86"/>
        <source>The software closes unexpectedly, do you need to save the items needed to analyze the problem?</source>
        <translation>Ohjelmisto sulkeutui odottamatta. Haluatko tallentaa ongelman analysointiin tarvittavat tiedot?</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="96"/>
        <source>Save Crash Log To</source>
        <translation>Tallenna kaatumisloki kohteeseen</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="98"/>
        <source>Zip File (*.zip)</source>
        <translation>Zip-tiedosto (*.zip)</translation>
    </message>
</context>
</TS>
