; vexo-j2534-<version>-setup.exe: both DLLs with their libusb-1.0.dll and vexo.exe under Program
; Files, each DLL registered in its own registry view, and an uninstaller that takes back exactly
; that. One 64-bit installer: it runs under wine64 everywhere, and 32-bit Windows is not a target.
; Built by scripts/build-installer.sh, which defines VERSION, VERSION4, X64, WIN32, DOCS, NSH, OUTFILE,
; and TEST_BUILD for trees that ship the simulated cable as libusb-1.0.dll.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "${NSH}"

!define PRODUCT "vexo-j2534"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; What Windows lists: a test build is never taken for a release, whose cable is real.
!ifdef TEST_BUILD
!define DISPLAY_NAME "${PRODUCT} ${VERSION} (test build: simulated cable)"
!else
!define DISPLAY_NAME "${PRODUCT} ${VERSION}"
!endif

Name "${DISPLAY_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "the vexo-j2534 developers"
VIAddVersionKey /LANG=1033 "FileDescription" "${DISPLAY_NAME} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) the vexo-j2534 developers, MIT licence"
!ifdef TEST_BUILD
VIAddVersionKey /LANG=1033 "OriginalFilename" "${PRODUCT}-${VERSION}-test-setup.exe"
!else
VIAddVersionKey /LANG=1033 "OriginalFilename" "${PRODUCT}-${VERSION}-setup.exe"
!endif

!define MUI_FINISHPAGE_TITLE "vexo-j2534 is installed"
!define MUI_FINISHPAGE_TEXT "Both J2534 libraries are registered: applications list 'Tactrix Openport 2.0 (vexo)'.$\r$\n$\r$\nOne step is left: Windows must bind the WinUSB driver to the cable (USB 0403:cc4d) before the library can reach it. Plug the cable in, start Zadig (https://zadig.akeo.ie), pick the cable, choose WinUSB and click 'Install Driver'.$\r$\n$\r$\nINSTALL.txt in $INSTDIR says more."
!insertmacro MUI_PAGE_LICENSE "${DOCS}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "vexo-j2534"
  SetOutPath "$INSTDIR"
  File "${DOCS}\LICENSE.txt"
  File "${DOCS}\LICENSE-libusb.txt"
  File "/oname=INSTALL.txt" "${X64}\INSTALL.txt"
  SetOutPath "$INSTDIR\x64"
  File "${X64}\vexo_j2534_0404.dll"
  File "${X64}\libusb-1.0.dll"
  File "${X64}\vexo.exe"
  SetOutPath "$INSTDIR\win32"
  File "${WIN32}\vexo_j2534_0404.dll"
  File "${WIN32}\libusb-1.0.dll"
  File "${WIN32}\vexo.exe"

  ; What regsvr32 writes for each DLL, in the view its applications read.
  SetRegView 64
  !insertmacro VexoWriteDiscoveryKey "$INSTDIR\x64\vexo_j2534_0404.dll"
  SetRegView 32
  !insertmacro VexoWriteDiscoveryKey "$INSTDIR\win32\vexo_j2534_0404.dll"
  SetRegView 64

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the vexo-j2534 developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; Our key only; the parent goes too once no other device is listed under it.
  SetRegView 64
  DeleteRegKey HKLM "${VEXO_DISCOVERY_KEY}"
  DeleteRegKey /ifempty HKLM "${VEXO_DISCOVERY_PARENT}"
  SetRegView 32
  DeleteRegKey HKLM "${VEXO_DISCOVERY_KEY}"
  DeleteRegKey /ifempty HKLM "${VEXO_DISCOVERY_PARENT}"
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; File by file, so nothing the user put beside them is lost.
  Delete "$INSTDIR\x64\vexo_j2534_0404.dll"
  Delete "$INSTDIR\x64\libusb-1.0.dll"
  Delete "$INSTDIR\x64\vexo.exe"
  RMDir "$INSTDIR\x64"
  Delete "$INSTDIR\win32\vexo_j2534_0404.dll"
  Delete "$INSTDIR\win32\libusb-1.0.dll"
  Delete "$INSTDIR\win32\vexo.exe"
  RMDir "$INSTDIR\win32"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\LICENSE-libusb.txt"
  Delete "$INSTDIR\INSTALL.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
