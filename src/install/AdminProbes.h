#pragma once

namespace Utils {

// True when the user logged on at the active console session has an administrator
// account. Any failure gives false.
bool IsConsoleUserAdmin();

// True when this process's token is a member of the built-in Administrators group.
// Any failure gives false.
bool IsProcessAdmin();

// True when this process runs as the LocalSystem account (as deployment agents start
// programs). Any failure gives false.
bool IsProcessSystemAccount();

} // namespace Utils
