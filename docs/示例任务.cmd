@echo off
rem OstrabelCli.exe 的计划任务示例：每晚把 $/Billing 自任务文件中的开始时间以来、到现在为止改过的
rem 文件共享到补丁项目；两个列表和运行记录写在 OUT 文件夹里。
rem
rem 计划任务从 C:\Windows\System32 启动，也看不到映射的网络驱动器，所以下面一律写完整路径，
rem 网络上的路径写成 UNC 路径（\\服务器\共享\...）。
rem
rem 以构建账户注册为每晚两点运行（/RP * 会询问该账户的 Windows 密码）：
rem   schtasks /Create /TN "Ostrabel billing nightly" /TR D:\Jobs\billing-nightly.cmd /SC DAILY /ST 02:00 /RU BUILD\builder /RP *
rem 手工运行一次，再看“上次运行结果”，也就是下面的退出状态（0x1：有未处理的文件）：
rem   schtasks /Run /TN "Ostrabel billing nightly"
rem   schtasks /Query /TN "Ostrabel billing nightly" /V /FO LIST
rem
rem SourceSafe 的密码：任务文件中的 passwd，或者以构建账户身份执行一次
rem   setx OSTRABEL_PASSWORD 密码

set "OSTRABEL=D:\Tools\Ostrabel\OstrabelCli.exe"
set "JOB=D:\Jobs\billing.ini"
set "OUT=D:\Jobs\out"

if not exist "%OUT%" mkdir "%OUT%"
"%OSTRABEL%" --ini "%JOB%" --mode vss --end "" --processed "%OUT%\processed.txt" --unprocessed "%OUT%\unprocessed.txt" 2>> "%OUT%\nightly.log"
set status=%errorlevel%
rem 0：全部已处理；1：有未处理的文件；2：输入无效或打不开数据库；3：运行意外中止。
if %status% geq 2 echo %date% %time% 运行失败，退出状态 %status% >> "%OUT%\nightly.log"
exit /b %status%
