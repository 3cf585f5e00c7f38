// Handlers of the simulator's commands, grouped by file: creating windows
// (cmd_create.cpp), reading them (cmd_inspect.cpp), driving windows and input
// (cmd_drive.cpp), the recorded events (cmd_events.cpp), and the CTID window's
// page and a hung client (cmd_page.cpp).
#pragma once

#include <string>

#include "request.h"

using Handler = std::string (*)(const Request&);

std::string CmdDialog(const Request&);
std::string CmdWindow(const Request&);
std::string CmdChild(const Request&);

std::string CmdText(const Request&);
std::string CmdClass(const Request&);
std::string CmdExists(const Request&);
std::string CmdVisible(const Request&);
std::string CmdEnabled(const Request&);
std::string CmdChecked(const Request&);
std::string CmdRect(const Request&);
std::string CmdCurSel(const Request&);
std::string CmdTopmost(const Request&);
std::string CmdCursor(const Request&);
std::string CmdForeground(const Request&);
std::string CmdFind(const Request&);
std::string CmdFindChild(const Request&);
std::string CmdChildren(const Request&);

std::string CmdShow(const Request&);
std::string CmdEnable(const Request&);
std::string CmdSetText(const Request&);
std::string CmdDestroy(const Request&);
std::string CmdMove(const Request&);
std::string CmdActivate(const Request&);
std::string CmdClick(const Request&);
std::string CmdClose(const Request&);
std::string CmdSelect(const Request&);
std::string CmdPost(const Request&);
std::string CmdSend(const Request&);
std::string CmdSendKey(const Request&);
std::string CmdMouseClick(const Request&);

std::string CmdPage(const Request&);
std::string CmdPageReads(const Request&);
std::string CmdHang(const Request&);

std::string CmdEvents(const Request&);
std::string CmdClear(const Request&);

// The moving camera preview (moving_picture.cpp).
std::string CmdFrame(const Request&);
// Files held open as another program would (cmd_files.cpp): the self-update's tests.
std::string CmdHoldFile(const Request&);
std::string CmdReleaseFile(const Request&);

// A form's layout as placed by another program (cmd_layout.cpp).
std::string CmdClientRect(const Request&);
std::string CmdItems(const Request&);
