<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Caption</name>
    <message>
        <source>Tunedesk, Version 1.0</source>
        <translation>Tunedesk, Version 1.0</translation>
    </message>
    <message>
        <source>关于 Tunedesk</source>
        <translation>About Tunedesk</translation>
    </message>
    <message>
        <source>Register Read/Write</source>
        <translation>Register Read/Write</translation>
    </message>
    <message>
        <source>CMD Value:</source>
        <translation>CMD Value:</translation>
    </message>
    <message>
        <source>Register Address:</source>
        <translation>Register Address:</translation>
    </message>
    <message>
        <source>Write Data:</source>
        <translation>Write Data:</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Write</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Read back</source>
        <translation>Read back</translation>
    </message>
    <message>
        <source>Log Information:</source>
        <translation>Log Information:</translation>
    </message>
    <message>
        <source>EDID Read/Write</source>
        <translation>EDID Read/Write</translation>
    </message>
    <message>
        <source>EDID Read/Write Data:</source>
        <translation>EDID Read/Write Data:</translation>
    </message>
    <message>
        <source>EDID Read</source>
        <translation>EDID Read</translation>
    </message>
    <message>
        <source>EDID Write</source>
        <translation>EDID Write</translation>
    </message>
    <message>
        <source>Mode:</source>
        <translation>Mode:</translation>
    </message>
    <message>
        <source>Clock:</source>
        <translation>Clock:</translation>
    </message>
    <message>
        <source>BitOrder:</source>
        <translation>BitOrder:</translation>
    </message>
    <message>
        <source>SpiOutInInterTime(us):</source>
        <translation>SpiOutInInterTime(us):</translation>
    </message>
    <message>
        <source>SpiFrequency:</source>
        <translation>SpiFrequency:</translation>
    </message>
    <message>
        <source>SpiDatabits:</source>
        <translation>SpiDatabits:</translation>
    </message>
    <message>
        <source>EnableCS</source>
        <translation>EnableCS</translation>
    </message>
    <message>
        <source>ActiveCS RW Delay(us):</source>
        <translation>ActiveCS RW Delay(us):</translation>
    </message>
    <message>
        <source>DeactiveCS RW Delay(us):</source>
        <translation>DeactiveCS RW Delay(us):</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>SPI設定</source>
        <translation>SPI Settings</translation>
    </message>
    <message>
        <source>パラメータ設定</source>
        <translation>Parameter Settings</translation>
    </message>
    <message>
        <source>SPIの初期化</source>
        <translation>Initialize SPI</translation>
    </message>
    <message>
        <source>SPI 読み書き</source>
        <translation>SPI Read/Write</translation>
    </message>
    <message>
        <source>スルー表示</source>
        <translation>Through Display</translation>
    </message>
    <message>
        <source>プロファイル</source>
        <translation>Profile</translation>
    </message>
    <message>
        <source>保存...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>読み込み...</source>
        <translation>Load...</translation>
    </message>
    <message>
        <source>ヘルプ</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于 Tunedesk(&amp;A)...</source>
        <translation>&amp;About Tunedesk...</translation>
    </message>
    <message>
        <source>デバイスを開く</source>
        <translation>Open Device</translation>
    </message>
    <message>
        <source>デバイスを閉じる</source>
        <translation>Close Device</translation>
    </message>
    <message>
        <source>デバイスリスト:</source>
        <translation>Device list:</translation>
    </message>
    <message>
        <source>デバイスリストの更新</source>
        <translation>Refresh Device List</translation>
    </message>
    <message>
        <source>Write 0x40080060</source>
        <translation>Write 0x40080060</translation>
    </message>
    <message>
        <source>Read 0x40080060</source>
        <translation>Read 0x40080060</translation>
    </message>
    <message>
        <source>鮮明化</source>
        <translation>Vivid</translation>
    </message>
    <message>
        <source>レンジ</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>大</source>
        <translation>L</translation>
    </message>
    <message>
        <source>中</source>
        <translation>M</translation>
    </message>
    <message>
        <source>小</source>
        <translation>S</translation>
    </message>
    <message>
        <source>強度</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>鮮鋭化</source>
        <translation>Sharpening</translation>
    </message>
    <message>
        <source>エリア</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>拡張コントラスト</source>
        <translation>Extended Contrast</translation>
    </message>
    <message>
        <source>自動明度</source>
        <translation>Auto Br.</translation>
    </message>
    <message>
        <source>閾値</source>
        <translation>Threshold</translation>
    </message>
    <message>
        <source>明度</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>適応コントラスト</source>
        <translation>Adapt. Contr.</translation>
    </message>
    <message>
        <source>色補正</source>
        <translation>Color Correction</translation>
    </message>
    <message>
        <source>ノイズ除去</source>
        <translation>Noise Removal</translation>
    </message>
    <message>
        <source>感度</source>
        <translation>Sensitivity</translation>
    </message>
    <message>
        <source>映像レンジ</source>
        <translation>Video Range</translation>
    </message>
    <message>
        <source>入力</source>
        <translation>Input</translation>
    </message>
    <message>
        <source>Limited</source>
        <translation>Limited</translation>
    </message>
    <message>
        <source>Full</source>
        <translation>Full</translation>
    </message>
    <message>
        <source>出力</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>処理対象領域</source>
        <translation>Processing Area</translation>
    </message>
    <message>
        <source>全体</source>
        <translation>All</translation>
    </message>
    <message>
        <source>中心</source>
        <translation>Mid</translation>
    </message>
    <message>
        <source>左半分</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>右半分</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>読み出し</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>リセット</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>全初期化</source>
        <translation>Init All</translation>
    </message>
    <message>
        <source>ログ表示</source>
        <translation>Log</translation>
    </message>
</context>
<context>
    <name>Message</name>
    <message>
        <source>The frequency setting cannot be empty!</source>
        <translation>The frequency setting cannot be empty!</translation>
    </message>
    <message>
        <source>The frequency setting is illegal, it may contain non numeric characters!</source>
        <translation>The frequency setting is illegal, it may contain non numeric characters!</translation>
    </message>
    <message>
        <source>The Active RW Delay setting cannot be empty!</source>
        <translation>The Active RW Delay setting cannot be empty!</translation>
    </message>
    <message>
        <source>The Deactive RW Delay setting cannot be empty!</source>
        <translation>The Deactive RW Delay setting cannot be empty!</translation>
    </message>
</context>
</TS>
