<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>ErrorHandleDialog</name>
    <message>
        <location filename="../errorhandledialog.ui" line="14"/>
        <source>Dialog</source>
        <translation>Диалог</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="37"/>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="58"/>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="86"/>
        <source>The software closes unexpectedly, do you need to save the items needed to analyze the problem?</source>
        <translation>Программа неожиданно закрылась. Сохранить данные, необходимые для анализа проблемы?</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="96"/>
        <source>Save Crash Log To</source>
        <translation>Сохранить журнал сбоя в</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="98"/>
        <source>Zip File (*.zip)</source>
        <translation>ZIP-файл (*.zip)</translation>
    </message>
</context>
</TS>
