<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="launcher.about.title">
        <source>About</source>
        <translation>About Corvane Online</translation>
    </message>
    <message id="launcher.about.text">
        <source>About text</source>
        <translation>&lt;p&gt;&lt;b&gt;Launcher version %7&lt;/b&gt;&lt;/p&gt;&lt;p&gt;Copyright &amp;copy; %1&amp;ndash;%2 Quarlix GmbH. All rights reserved.&lt;/p&gt;&lt;p&gt;This program uses the Qt toolkit, licensed under the GNU Lesser General Public License version 3:&lt;/p&gt;&lt;p style="white-space: nowrap"&gt;&lt;a href="%3"&gt;%4&lt;/a&gt;&lt;/p&gt;&lt;p&gt;The toolkit's sources:&lt;/p&gt;&lt;p style="white-space: nowrap"&gt;&lt;a href="%5"&gt;%6&lt;/a&gt;&lt;/p&gt;</translation>
    </message>
</context>
</TS>
