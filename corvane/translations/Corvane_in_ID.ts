<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="id_ID">
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
        <translation>Simpan</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="58"/>
        <source>Cancel</source>
        <translation>Batal</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="86"/>
        <source>The software closes unexpectedly, do you need to save the items needed to analyze the problem?</source>
        <translation>Perangkat lunak tertutup secara tidak terduga. Apakah Anda perlu menyimpan item yang diperlukan untuk menganalisis masalah?</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="96"/>
        <source>Save Crash Log To</source>
        <translation>Simpan Log Kerusakan Ke</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="98"/>
        <source>Zip File (*.zip)</source>
        <translation>File Zip (*.zip)</translation>
    </message>
</context>
</TS>
