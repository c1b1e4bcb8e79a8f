# Addresses the publisher sets per build, without editing code. Hosts default to the
# reserved .example domain.
set(TALV_PATCH_BASE_URL "http://patch.talvenor.example/talvenor" CACHE STRING
    "Default patch base address (m_patchBaseUrl); its path must be /talvenor")
set(TALV_XML_INSTALLER "http://download.microsoft.example/msxml/msxmlkor.msi 5439488" CACHE STRING
    "String 7: XML library installer address and its size in bytes")
set(TALV_DX_INSTALLER "http://download.microsoft.example/directx/dxwebsetup.exe 299624" CACHE STRING
    "String 8: DirectX web installer address and its size in bytes")
set(TALV_NOTICE_URL "http://www.talvenor.example/talvenor/launcher/notice.html" CACHE STRING
    "String 10: launcher notice page")
set(TALV_DOWNLOAD_HOSTS "http://down1.talvenor.example/\\nhttp://down2.talvenor.example/" CACHE STRING
    "String 26: download host prefixes separated by \\n")
set(TALV_PORTAL_URL "http://www.talvenor.example/" CACHE STRING "String 62: official portal page")
set(TALV_HINT_URL "http://game.talvenor.example/hint" CACHE STRING "String 63: hints page")
set(TALV_JOIN_URL "http://www.talvenor.example/member/join" CACHE STRING "String 64: member registration page")
set(TALV_INSTALLER_PAGE_URL "https://www.talvenor.example/talvenor/installer/yt.aspx" CACHE STRING
    "Page shown on the installer screen; its path must be /talvenor/installer/yt.aspx")
set(TALV_EVENT_URL "http://www.talvenor.example/event" CACHE STRING "Event page opened by the launcher dialog")

set(TALV_UPDATE_PUBLIC_KEY "" CACHE STRING
    "Publisher's key of the update documents: a minisign public key (the .pub text or its key line). Empty: the launcher reads them unsigned")

# Writes OUT, a source that defines the launcher's kUpdatePublicKey from KEY_TEXT (minisign's
# public key text or its key line; empty for none). A text without a key line stops the
# configure: a launcher with a broken key would refuse every update.
function(talv_update_key_source out key_text)
  set(key "")
  if(NOT key_text STREQUAL "")
    string(REGEX MATCH "RW[A-Za-z0-9+/]+" key "${key_text}")
    string(LENGTH "${key}" length)
    if(NOT length EQUAL 56)
      message(FATAL_ERROR "TALV_UPDATE_PUBLIC_KEY holds no minisign public key: \"${key_text}\"")
    endif()
  endif()
  file(CONFIGURE OUTPUT ${out} CONTENT
"// Generated from the build settings; edit them in the CMake cache, not here.
extern const char kUpdatePublicKey[];
const char kUpdatePublicKey[] = \"${key}\";
" @ONLY)
endfunction()
talv_update_key_source(${CMAKE_BINARY_DIR}/generated/update_key.cpp "${TALV_UPDATE_PUBLIC_KEY}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/build_settings.h.in
               ${CMAKE_BINARY_DIR}/generated/build_settings.h @ONLY)
