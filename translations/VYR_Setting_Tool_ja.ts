<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Find_dialog</name>
    <message>
        <source>Find sensors</source>
        <translation>センサの検索</translation>
    </message>
    <message>
        <source>Addresses as 192.168.0.0/24, 192.168.0.1-20 or 192.168.0.10, separated by commas or spaces</source>
        <translation>192.168.0.0/24、192.168.0.1-20、192.168.0.10 のようなアドレスをカンマまたは空白で区切って入力します</translation>
    </message>
    <message>
        <source>Serial ports</source>
        <translation>シリアルポート</translation>
    </message>
    <message>
        <source>Ranges</source>
        <translation>範囲</translation>
    </message>
    <message>
        <source>Port No.</source>
        <translation>ポート番号</translation>
    </message>
    <message>
        <source>Target</source>
        <translation>接続先</translation>
    </message>
    <message>
        <source>Product</source>
        <translation>製品</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>シリアル番号</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>ファームウェア</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>検索</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>使用</translation>
    </message>
    <message>
        <source>No range given and no serial port is marked as a sensor&apos;s.</source>
        <translation>範囲が指定されておらず、センサのシリアルポートもありません。</translation>
    </message>
    <message>
        <source>No range given.</source>
        <translation>範囲が指定されていません。</translation>
    </message>
    <message>
        <source>Searching...</source>
        <translation>検索しています...</translation>
    </message>
    <message>
        <source>%1 (%2 baud)</source>
        <translation>%1 (%2 baud)</translation>
    </message>
    <message>
        <source>Stopping...</source>
        <translation>停止しています...</translation>
    </message>
    <message>
        <source>Search cancelled; sensors found: %1</source>
        <translation>検索を中止しました。見つかったセンサ: %1</translation>
    </message>
    <message>
        <source>Sensors found: %1</source>
        <translation>見つかったセンサ: %1</translation>
    </message>
</context>
<context>
    <name>Information_window</name>
    <message>
        <source>Sensor information</source>
        <translation>センサ情報</translation>
    </message>
    <message>
        <source>Product</source>
        <translation>製品</translation>
    </message>
    <message>
        <source>Firmware version</source>
        <translation>ファームウェアバージョン</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>シリアル番号</translation>
    </message>
    <message>
        <source>Sensor status</source>
        <translation>センサ状態</translation>
    </message>
    <message>
        <source>Stable</source>
        <translation>安定</translation>
    </message>
    <message>
        <source>Measurement state</source>
        <translation>計測状態</translation>
    </message>
    <message>
        <source>Step limits</source>
        <translation>ステップ範囲</translation>
    </message>
    <message>
        <source>Distance limits</source>
        <translation>距離範囲</translation>
    </message>
    <message>
        <source>Scan period</source>
        <translation>スキャン周期</translation>
    </message>
    <message>
        <source>Steps per scan</source>
        <translation>1スキャンのステップ数</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>更新</translation>
    </message>
    <message>
        <source>Not connected.</source>
        <translation>接続されていません。</translation>
    </message>
    <message>
        <source>✔ stable</source>
        <translation>✔ 安定</translation>
    </message>
    <message>
        <source>✖ not stable</source>
        <translation>✖ 不安定</translation>
    </message>
    <message>
        <source>%1 to %2 (%3° to %4°)</source>
        <translation>%1 ～ %2 (%3° ～ %4°)</translation>
    </message>
    <message>
        <source>%1 to %2 mm</source>
        <translation>%1 ～ %2 mm</translation>
    </message>
    <message>
        <source>%1 us (%2 scans/s)</source>
        <translation>%1 us (%2 スキャン/秒)</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>未読</translation>
    </message>
</context>
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
    <name>Live_scan_window</name>
    <message>
        <source>Live scan</source>
        <translation>ライブスキャン</translation>
    </message>
    <message>
        <source>Distance</source>
        <translation>距離</translation>
    </message>
    <message>
        <source>Distance + intensity</source>
        <translation>距離 + 強度</translation>
    </message>
    <message>
        <source>Multi-echo</source>
        <translation>マルチエコー</translation>
    </message>
    <message>
        <source>Multi-echo + intensity</source>
        <translation>マルチエコー + 強度</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>一時停止</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>全体表示</translation>
    </message>
    <message>
        <source>Fit range</source>
        <translation>測定範囲表示</translation>
    </message>
    <message>
        <source>Save scan...</source>
        <translation>スキャンを保存...</translation>
    </message>
    <message>
        <source>Save picture...</source>
        <translation>画像を保存...</translation>
    </message>
    <message>
        <source>Stopped.</source>
        <translation>停止中。</translation>
    </message>
    <message>
        <source>Not connected.</source>
        <translation>接続されていません。</translation>
    </message>
    <message>
        <source>Starting...</source>
        <translation>開始しています...</translation>
    </message>
    <message>
        <source>Stopped after %1 scans.</source>
        <translation>%1 スキャンで停止しました。</translation>
    </message>
    <message>
        <source>Measurement stopped: %1</source>
        <translation>計測が停止しました: %1</translation>
    </message>
    <message>
        <source>%1 scans, %2 scans/s, last time stamp %3 ms</source>
        <translation>%1 スキャン、%2 スキャン/秒、最新タイムスタンプ %3 ms</translation>
    </message>
    <message>
        <source>picture paused</source>
        <translation>表示一時停止中</translation>
    </message>
    <message>
        <source>No scan to save.</source>
        <translation>保存するスキャンがありません。</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>%1 に書き込めません: %2</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>通常のファイルではありません</translation>
    </message>
    <message>
        <source>Saved scan %1 to %2.</source>
        <translation>スキャン %1 を %2 に保存しました。</translation>
    </message>
    <message>
        <source>Saved the picture to %1.</source>
        <translation>画像を %1 に保存しました。</translation>
    </message>
    <message>
        <source>Save scan</source>
        <translation>スキャンを保存</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV ファイル (*.csv)</translation>
    </message>
    <message>
        <source>Save picture</source>
        <translation>画像を保存</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG 画像 (*.png)</translation>
    </message>
    <message>
        <source>Stopping...</source>
        <translation>停止しています...</translation>
    </message>
    <message>
        <source>The sensor did not confirm the stop after %1 scans (%2); it may still be measuring.</source>
        <translation>%1 スキャン後、センサーが停止を確認しませんでした (%2)。まだ計測している可能性があります。</translation>
    </message>
    <message>
        <source>the picture could not be encoded</source>
        <translation>画像を符号化できませんでした</translation>
    </message>
    <message>
        <source>&amp;x/y</source>
        <translation>xy表示(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Ruler</source>
        <translation>定規(&amp;R)</translation>
    </message>
    <message>
        <source>Record...</source>
        <translation>記録...</translation>
    </message>
    <message>
        <source>Open recording...</source>
        <translation>記録を開く...</translation>
    </message>
    <message>
        <source>Close recording</source>
        <translation>記録を閉じる</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>再生</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>戻る</translation>
    </message>
    <message>
        <source>One scan back</source>
        <translation>1 スキャン戻る</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>進む</translation>
    </message>
    <message>
        <source>One scan forward</source>
        <translation>1 スキャン進む</translation>
    </message>
    <message>
        <source>%1x</source>
        <translation>%1 倍</translation>
    </message>
    <message>
        <source>As fast as possible</source>
        <translation>最高速</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>記録を停止</translation>
    </message>
    <message>
        <source>Record scans</source>
        <translation>スキャンを記録</translation>
    </message>
    <message>
        <source>Scan recordings (*.ndjson)</source>
        <translation>スキャンの記録 (*.ndjson)</translation>
    </message>
    <message>
        <source>Close the recording to record.</source>
        <translation>記録するには、開いている記録を閉じてください。</translation>
    </message>
    <message>
        <source>Recording to %1...</source>
        <translation>%1 に記録します...</translation>
    </message>
    <message>
        <source>Recording: %1 scans, %2 MB</source>
        <translation>記録中: %1 スキャン、%2 MB</translation>
    </message>
    <message>
        <source>Closing the recording: %1 scans, %2 MB</source>
        <translation>記録を閉じています: %1 スキャン、%2 MB</translation>
    </message>
    <message>
        <source>Recorded %1 scans (%2 MB) to %3.</source>
        <translation>%1 スキャン (%2 MB) を %3 に記録しました。</translation>
    </message>
    <message>
        <source>Recording stopped after %1 scans in %2: %3</source>
        <translation>%1 スキャンを %2 に記録したところで記録が止まりました: %3</translation>
    </message>
    <message>
        <source>Could not record to %1: %2</source>
        <translation>%1 に記録できません: %2</translation>
    </message>
    <message>
        <source>Stop the measurement to open a recording.</source>
        <translation>記録を開くには、測定を停止してください。</translation>
    </message>
    <message>
        <source>Open recording</source>
        <translation>記録を開く</translation>
    </message>
    <message>
        <source>Scan recordings (*.ndjson);;All files (*)</source>
        <translation>スキャンの記録 (*.ndjson);;すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Could not open %1: %2</source>
        <translation>%1 を開けません: %2</translation>
    </message>
    <message>
        <source>Recording %1: %2 scans, %3</source>
        <translation>記録 %1: %2 スキャン、%3</translation>
    </message>
    <message>
        <source>Scan %1 of %2, %3 s of %4 s</source>
        <translation>スキャン %1 / %2、%3 秒 / %4 秒</translation>
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
    <message>
        <source>&amp;Sensor</source>
        <translation>センサ(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Information...</source>
        <translation>情報(&amp;I)...</translation>
    </message>
    <message>
        <source>&amp;Live scan...</source>
        <translation>ライブスキャン(&amp;L)...</translation>
    </message>
    <message>
        <source>Settings not saved: %1</source>
        <translation>設定を保存できません: %1</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>終了(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;Find sensors...</source>
        <translation>センサの検索(&amp;F)...</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>バージョン情報(&amp;A)</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>%1 について</translation>
    </message>
    <message>
        <source>version %1</source>
        <translation>バージョン %1</translation>
    </message>
    <message>
        <source>Sets up VYR series scanning laser range sensors over Ethernet or a serial line: heater, phase and network address, with the sensor&apos;s information and a live view of its scans.</source>
        <translation>VYR シリーズの走査型レーザ距離センサを Ethernet またはシリアル回線で設定します: ヒーター、位相、ネットワークアドレス。センサの情報とスキャンのライブ表示もあります。</translation>
    </message>
    <message>
        <source>&amp;Open recording...</source>
        <translation>記録を開く(&amp;O)...</translation>
    </message>
</context>
<context>
    <name>Polar_view</name>
    <message>
        <source>angle %1°</source>
        <translation>角度 %1°</translation>
    </message>
    <message>
        <source>step %1</source>
        <translation>ステップ %1</translation>
    </message>
    <message>
        <source>index %1</source>
        <translation>インデックス %1</translation>
    </message>
    <message>
        <source>echo %1</source>
        <translation>エコー %1</translation>
    </message>
    <message>
        <source>distance %1 mm</source>
        <translation>距離 %1 mm</translation>
    </message>
    <message>
        <source>intensity %1</source>
        <translation>強度 %1</translation>
    </message>
    <message>
        <source>%1 m</source>
        <translation>%1 m</translation>
    </message>
    <message>
        <source>first echo: colour by intensity, low to high</source>
        <translation>第1エコー: 色は強度 (低→高)</translation>
    </message>
    <message>
        <source>first echo</source>
        <translation>第1エコー</translation>
    </message>
    <message>
        <source>second echo</source>
        <translation>第2エコー</translation>
    </message>
    <message>
        <source>third echo</source>
        <translation>第3エコー</translation>
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
        <source>Connection lost: %1</source>
        <translation>接続が切れました: %1</translation>
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
    <message>
        <source>a folder is in its place</source>
        <translation>同じ名前のフォルダーがあります</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>通常のファイルではありません</translation>
    </message>
    <message>
        <source>it is too large</source>
        <translation>ファイルが大きすぎます</translation>
    </message>
    <message>
        <source>the file could not be written</source>
        <translation>ファイルに書き込めませんでした</translation>
    </message>
    <message>
        <source>the settings could not be saved: %1</source>
        <translation>設定を保存できませんでした: %1</translation>
    </message>
    <message>
        <source>this computer has no address in the sensor&apos;s subnet (add one: %1)</source>
        <translation>このコンピュータにはセンサのサブネットのアドレスがありません (追加するには: %1)</translation>
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
<context>
    <name>Ruler</name>
    <message>
        <source>ruler %1 m at %2°; ends %3 m at %4° and %5 m at %6° from the sensor</source>
        <translation>定規 %1 m、方位 %2°。端点はセンサから %3 m、%4° と %5 m、%6°</translation>
    </message>
    <message>
        <source>%1 m at %2°</source>
        <translation>%1 m、方位 %2°</translation>
    </message>
</context>
<context>
    <name>Scan_playback</name>
    <message>
        <source>it holds an unknown kind of measurement</source>
        <translation>未知の種類の測定が記録されています</translation>
    </message>
    <message>
        <source>it holds no scans</source>
        <translation>スキャンが記録されていません</translation>
    </message>
    <message>
        <source>its values do not add up</source>
        <translation>値の数が合いません</translation>
    </message>
    <message>
        <source>Could not read scan %1: %2</source>
        <translation>スキャン %1 を読めません: %2</translation>
    </message>
</context>
</TS>
