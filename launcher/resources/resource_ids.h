// The names of Talvenor's resources: the string table, the dialog templates and their
// controls, the bitmaps and icons, and the BIN resources. The resource compiler reads this
// file as well as the code, so it holds #define lines only; pure-logic files include it too.
// The numbers are the program's own and must not change: tests drive the windows by control
// id and host mode reports the string ids.
#pragma once

// --- Strings ------------------------------------------------------------------------------
#define IDS_COMPATIBILITY_MODE_ON 2        // switch compatibility mode off, then run again
#define IDS_CANCEL_INSTALL 3               // question: cancel the installation?
#define IDS_TEMP_FOLDER_README 4           // README.txt of the patch temporary folder
#define IDS_UNINSTALL_QUESTION 5           // question: remove talvenor from the hard disk?
#define IDS_UNINSTALL_TITLE 6              // main window title in uninstall mode
#define IDS_XML_DOWNLOAD 7                 // XML library installer: address and size
#define IDS_DIRECTX_DOWNLOAD 8             // DirectX web installer: address and size
#define IDS_INSTALL_TITLE 9                // main window title in the install modes
#define IDS_NOTICE_PAGE 10                 // notice page address
#define IDS_UPDATE_STOPPED 11
#define IDS_ALREADY_NEWEST 12              // the latest version is already installed
#define IDS_UPDATE_FINISHED 13
#define IDS_INSTALL_FIRST 14
#define IDS_FILE_MISSING 15                // the file does not exist; see the official site
#define IDS_DOWNLOAD_FILE_NOT_CREATED 16
#define IDS_COMPONENT_DOWNLOADED 17        // download finished; component installation begins
#define IDS_CANCEL_COMPONENT_INSTALL 18    // question: cancel the installation? (components)
#define IDS_CLIENT_TOO_OLD 19
#define IDS_FTP_CONNECT_FAILED 20
#define IDS_UPDATE_FINISHED_RESTART 21     // update finished; the game program starts again
#define IDS_INSTALLER_NOT_OPENED 22        // cannot open the downloaded installation file
#define IDS_CHOSEN_FOLDER_NOT_CREATED 23
#define IDS_REQUIRED_DISK_MB 24            // free disk space an installation needs, in MB
#define IDS_LOW_DISK_QUESTION 25           // question: not enough disk space; continue?
#define IDS_DOWNLOAD_HOSTS 26
#define IDS_UNINSTALLED 27                 // all of talvenor removed
#define IDS_WRONG_INSTALL_PATH 28
#define IDS_PRODUCT_TITLE 29
#define IDS_REINSTALL_QUESTION 30          // question: already installed; install again?
#define IDS_MAINTENANCE 31                 // maintenance in progress; the game cannot run
#define IDS_PRODUCT_TITLE_TEST_SERVER 32
#define IDS_LOBBY_NAME 33
#define IDS_LOBBY_DESCRIPTION 34
#define IDS_RUN_FAILED 35                  // running talvenor failed
#define IDS_SCREENSHOTS_FOLDER 36
#define IDS_EXTRACT_FAILED 37              // shown with a numeric code appended
#define IDS_GAME_RUNNING 38
#define IDS_MY_FILES_FOLDER 39
#define IDS_INSTALL_FILE_FAILED 40
#define IDS_FILE_IN_USE 41                 // a file to be updated is open
#define IDS_FOLDER_NOT_CREATED 42
#define IDS_UNINSTALL_SHORTCUT_TEXT 43
#define IDS_RUN_SHORTCUT_TEXT 44
#define IDS_OFFICIAL_SITE 45
#define IDS_SERVER_UNREACHABLE 46          // cannot connect, or too many users at present
#define IDS_RUN_PROBLEM 47                 // a problem occurred while running; try again later
#define IDS_PATCH_INFO_FAILED 48           // downloading the update information failed
#define IDS_DOWNLOAD_COPY_FAILED 49
#define IDS_BAD_FOLDER_NAME 50
#define IDS_SCREENSHOTS_LINK 51
#define IDS_MY_FILES_LINK 52
#define IDS_PORTAL_SHORTCUT_TEXT 53
#define IDS_SCREENSHOTS_SHORTCUT_TEXT 54
#define IDS_MY_FILES_SHORTCUT_TEXT 55
#define IDS_RESET_LINK 56
#define IDS_RESET_SHORTCUT_TEXT 57
#define IDS_PORTAL_LINK 58
#define IDS_UNINSTALL_LINK 59
#define IDS_USER_FOLDER 60
#define IDS_LOG_FOLDER 61
#define IDS_PORTAL_PAGE 62
#define IDS_HINT_PAGE 63
#define IDS_JOIN_PAGE 64
#define IDS_CLIENT_RUNNING 70              // cannot update while the game client runs
#define IDS_LAUNCHER_RUNNING 71
#define IDS_DISK_FULL 73
#define IDS_REPAIRED 74                    // repair finished; the number of files put right follows
#define IDS_ALL_INTACT 75                  // repair: every file was intact
#define IDS_REPAIR_LINK 76                 // start-menu link of the repair run
#define IDS_REPAIR_SHORTCUT_TEXT 77
#define IDS_INSERT_FIRST_DISC 1049
#define IDS_INSERT_SECOND_DISC 1050
#define IDS_COPY_FAILED 1051
#define IDS_FILE_ENTRY_NOT_FOUND 1052
#define IDS_COMPATIBILITY_MODE_REMOVED 1055
#define IDS_LAUNCHER_REPLACED 1084         // the program is a new version; reinstall the game

// --- Dialog templates ---------------------------------------------------------------------
#define IDD_LOGO 101
#define IDD_AGREEMENT 104                  // agreement page of the installer
#define IDD_INSTALL_FOLDER 105
#define IDD_FOLDER_CHOOSER 107
#define IDD_NEW_FOLDER 108
#define IDD_UNINSTALLER 109
#define IDD_PREREQUISITES 110
#define IDD_PREREQUISITE_DOWNLOAD 111
#define IDD_LAUNCHER 112
#define IDD_FINISH 113
#define IDD_QUESTION_BOX 114
#define IDD_INFO_BOX 115
#define IDD_INSTALLER 117
#define IDD_PLAY_AGREEMENT 119             // agreement before the game starts

// --- Controls -----------------------------------------------------------------------------
// Several templates share an id where the control plays the same part; where one number
// plays different parts in different templates, each part has its name.
#define IDC_NEW_FOLDER 3                   // folder chooser: make a new folder
#define IDC_SPLASH_LOGO 1000
#define IDC_AGREEMENT_TEXT 1001
#define IDC_SMALL_LOGO 1002
#define IDC_LAUNCHER_LOGO 1003
#define IDC_BROWSE 1004
#define IDC_INSTALL_PATH 1005              // install folder page: the folder edit
#define IDC_FINISH_ARTWORK 1005
#define IDC_INSTALLER_CANCEL 1008          // transparent, over the panel's close mark
#define IDC_NEXT 1009                      // agree, next
#define IDC_CANCEL_PAGE 1010               // disagree, cancel
#define IDC_LAUNCHER_CLOSE 1010
#define IDC_FINISH_DONE 1010
#define IDC_FOLDER_TREE 1011
#define IDC_CHOOSER_PATH 1015              // folder chooser: the chosen path
#define IDC_NEW_FOLDER_NAME 1015           // new-folder dialog: the name edit
#define IDC_CHOOSER_OK 1016
#define IDC_CHOOSER_CANCEL 1017
#define IDC_UNINSTALL 1019
#define IDC_DOWNLOAD_PROGRESS 1021
#define IDC_DOWNLOAD_INSTALL 1022          // starts the downloaded file again
#define IDC_DOWNLOAD_CANCEL 2              // the system's IDCANCEL, for code without its header
#define IDC_FINISH_START 1023              // no control of the template sends it
#define IDC_NOTICE_PAGE 1024               // where the browser is placed
#define IDC_START_GAME 1026
#define IDC_PORTAL 1027
#define IDC_JOIN 1028
#define IDC_CLOSE_BOX 1032
#define IDC_MINIMISE_BOX 1033
#define IDC_MAIN_LABEL 1034
#define IDC_PANEL 1035
#define IDC_FOLDER_LABEL 1035              // install folder page: "the folder to install to"
#define IDC_XML 1036
#define IDC_DIRECTX 1037
#define IDC_CONTINUE_LABEL 1043
#define IDC_SPARE_LABEL 1046               // drawn as a label; no template has it

// --- Bitmaps and icons --------------------------------------------------------------------
#define IDB_CHARACTER 118                  // the finish page's artwork
#define IDB_PUSH_NORMAL 119
#define IDB_PUSH_DISABLED 120
#define IDB_PUSH_FOCUSED 121
#define IDB_PUSH_DEFAULT_NORMAL 122
#define IDB_PUSH_DEFAULT_DISABLED 123
#define IDB_PUSH_DEFAULT_FOCUSED 124
#define IDB_PUSH_PRESSED 125
#define IDB_FRAME 126                      // the background frame
#define IDB_CLOSE_MARK 127
#define IDB_CLOSE_MARK_PRESSED 129
#define IDB_CLOSE_BOX 130
#define IDB_CLOSE_BOX_PRESSED 132
#define IDB_SMALL_LOGO 134
#define IDB_MINIMISE_BOX 135
#define IDB_MINIMISE_BOX_PRESSED 137
#define IDB_FRAMED_LOGO 138
#define IDB_HEADER_LOGO 139
#define IDB_START_FOCUSED 142
#define IDB_START_DISABLED 143
#define IDB_START_PRESSED 144
#define IDB_START_NORMAL 145
#define IDI_LAUNCHER 164
#define IDI_INSTALLER 167
#define IDI_FOLDER 168
#define IDI_OPEN_FOLDER 169

// --- BIN resources ------------------------------------------------------------------------
#define IDR_AGREEMENT 111                  // the service agreement, Big5 with CR LF lines
#define IDR_SKIN 112                       // the skin sheet
#define IDR_RENAMER 115                    // renamer.exe
#define IDR_REMOVER 116                    // talvremover.exe

// A static control's bitmap, named in a template as "#ID".
#define RESOURCE_TEXT_(id) "#" #id
#define RESOURCE_TEXT(id) RESOURCE_TEXT_(id)
