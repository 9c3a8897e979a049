// The program's entry: the application title, the connection, and then either the upgrade
// window as the main window or the connection-failure box.
#pragma once

#include <functional>
#include <memory>

#include "dmToolsData.h"
#include "platform/database.h"
#include "platform/gui.h"

// The application's title: the caption of the error boxes and of the taskbar entry.
inline constexpr char kApplicationTitle[] = "Brantel资产管理系统";
// What every program says when it could not connect, whatever the reason.
inline constexpr char kConnectFailed[] = "数据库连接失败，请检查通信参数或服务器状态！";

// Makes the driver the program connects through.
using DriverFactory = std::function<std::unique_ptr<platform::Driver>()>;

// Runs the whole program over the given toolkit, database driver and settings store, and
// returns the process's exit code. make_driver is called once, inside the guard of
// StartAndRun, when the connection data module connects: a driver that cannot be created (an
// ODBC environment the driver manager refuses) ends in the connection-failure box like a
// refused connection.
int UpVrek(platform::GuiBackend& gui, DriverFactory make_driver, RegistryFactory registry);
// The same over a driver that exists already.
int UpVrek(platform::GuiBackend& gui, platform::Driver& driver, RegistryFactory registry);

// The guarded part of the entry: create_data_module creates the connection data module through
// the application; ConnectMessage then tells success ("OK" exactly) from failure. On success the
// upgrade window becomes the main form; any other value, or an error out of either creation,
// shows "数据库连接失败，请检查通信参数或服务器状态！" under "错误信息" with one OK button and
// no icon. Then the message loop runs (it returns at once without a main form).
void StartAndRun(platform::TApplication& Application,
                 const std::function<void()>& create_data_module);
