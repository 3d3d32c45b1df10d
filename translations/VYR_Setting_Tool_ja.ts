<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Ip_address_widget_form</name>
    <message>
        <source>IP Address</source>
        <translation>IPアドレス</translation>
    </message>
    <message>
        <source>.</source>
        <translation>.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>メインウィンドウ</translation>
    </message>
    <message>
        <source>Start Application.</source>
        <translation>アプリケーションを起動しました。</translation>
    </message>
</context>
<context>
    <name>QVyr_connector</name>
    <message>
        <source>Qvyr_connector</source>
        <translation>センサ接続</translation>
    </message>
    <message>
        <source>Ethernet</source>
        <translation>イーサネット</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>シリアル</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IPアドレス</translation>
    </message>
    <message>
        <source>Port No.</source>
        <translation>ポート番号</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>接続</translation>
    </message>
    <message>
        <source>Reflesh</source>
        <translation>再検索</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>デバイス</translation>
    </message>
    <message>
        <source>Baudrate</source>
        <translation>ボーレート</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>切断</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Fail</source>
        <translation>失敗</translation>
    </message>
</context>
<context>
    <name>QVyr_heater_setter</name>
    <message>
        <source>MainWindow</source>
        <translation>メインウィンドウ</translation>
    </message>
    <message>
        <source>Heater Function</source>
        <translation>ヒーター機能</translation>
    </message>
    <message>
        <source>Activate</source>
        <translation>有効</translation>
    </message>
    <message>
        <source>Inactivate</source>
        <translation>無効</translation>
    </message>
    <message>
        <source>Set heater</source>
        <translation>ヒーター設定</translation>
    </message>
    <message>
        <source>success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>fail</source>
        <translation>失敗</translation>
    </message>
</context>
<context>
    <name>QVyr_ip_changer</name>
    <message>
        <source>MainWindow</source>
        <translation>メインウィンドウ</translation>
    </message>
    <message>
        <source>Default Gateway</source>
        <translation>デフォルトゲートウェイ</translation>
    </message>
    <message>
        <source>Sub Net Mask</source>
        <translation>サブネットマスク</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IPアドレス</translation>
    </message>
    <message>
        <source>Set IP Address</source>
        <translation>IPアドレス設定</translation>
    </message>
    <message>
        <source>IP Address change</source>
        <translation>IPアドレス変更</translation>
    </message>
    <message>
        <source>fail</source>
        <translation>失敗</translation>
    </message>
    <message>
        <source>success</source>
        <translation>成功</translation>
    </message>
</context>
<context>
    <name>QVyr_phase_setter</name>
    <message>
        <source>MainWindow</source>
        <translation>メインウィンドウ</translation>
    </message>
    <message>
        <source>Phase</source>
        <translation>位相</translation>
    </message>
    <message>
        <source>[deg]</source>
        <translation>[度]</translation>
    </message>
    <message>
        <source>Set Phase</source>
        <translation>位相設定</translation>
    </message>
    <message>
        <source>Get Phase</source>
        <translation>位相取得</translation>
    </message>
    <message>
        <source>Phase change</source>
        <translation>位相変更</translation>
    </message>
    <message>
        <source>success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>fail</source>
        <translation>失敗</translation>
    </message>
    <message>
        <source>Current Phase get</source>
        <translation>現在の位相取得</translation>
    </message>
</context>
</TS>
