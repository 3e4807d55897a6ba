// The install folder's security descriptor, the one both installers give it: owned by
// Administrators; protected (nothing inherited from the folder above); SYSTEM and Administrators
// full control, Users read and execute, for the folder and all it holds. The opener creates or
// sets the setup's folder with it, and installer/CMakeLists.txt reads the line below into the
// package's MsiLockPermissionsEx row.
#pragma once

#define OSTINEL_INSTALL_FOLDER_SDDL L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
