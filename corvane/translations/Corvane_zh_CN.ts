<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ErrorHandleDialog</name>
    <message>
        <location filename="../errorhandledialog.ui" line="14"/>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="37"/>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="58"/>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.ui" line="86"/>
        <source>The software closes unexpectedly, do you need to save the items needed to analyze the problem?</source>
        <translation>软件意外关闭，是否需要保存分析问题所需的项目？</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="96"/>
        <source>Save Crash Log To</source>
        <translation>将崩溃日志保存到</translation>
    </message>
    <message>
        <location filename="../errorhandledialog.cpp" line="98"/>
        <source>Zip File (*.zip)</source>
        <translation>Zip 文件 (*.zip)</translation>
    </message>
</context>
</TS>
