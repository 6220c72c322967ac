#pragma once
// The names by which the outside world knows the program, each spelt once.
// Users, installed copies and their settings depend on them: change one
// only on purpose.
//
// The program, the tools that look for its window and the Windows test
// support take them from here; a test that checks a caption or a text
// keeps its own literal. The build reads the quoted values back for the
// version resource and the installer (cmake/ProgramIdentity.cmake,
// installer/build-setup.sh): keep each on one line, as written.

namespace quillon::identity {

// The product name: the settings' application name, the title of the
// program's message boxes, the first word of the log's header.
inline constexpr char kProductName[] = "MRP_Quillon";

// The main window's caption is this prefix and the version ("1.0.2").
inline constexpr char kCaptionPrefix[] = "MRP-Ledgerly Gateway ";

// The main window's class, by which the installer finds a running copy.
inline constexpr char kWindowClass[] = "MRP_Quillon.MainWindow";

// The per-user settings of every program of the suite under
// HKEY_CURRENT_USER: <root>\<application>\<section>, values REG_SZ.
inline constexpr char kSettingsRoot[] = "Software\\VB and VBA Program Settings";

// The mutex that marks a running copy ("Local\": one per user session).
inline constexpr char kInstanceMutex[] = "Local\\MRP_Quillon.SingleInstance";

}  // namespace quillon::identity
