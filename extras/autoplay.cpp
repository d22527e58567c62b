// Autoplay and still-image event registrations of the photo device-connect program.
#include "extras/autoplay.h"

#include <windows.h>

#include <shlwapi.h>
#include <string.h>

#include "base/debug_channel.h"
#include "base/heap_string.h"
#include "base/scoped.h"
#include "base/status.h"
#include "sys/command_line.h"
#include "sys/file_removal.h"

namespace {

const char kAutoplayHandlers[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers";
const char kStillImageEvents[] = "SYSTEM\\CurrentControlSet\\Control\\StillImage\\Events";
const char kProgId[] = "Tollix.AutoPlay";
const char kHandlerName[] = "NimbrelPicturesHandlerOnArrival";
const char kCancelAutoplayClsid[] = "903B475E-E2C0-4c17-A965-CD52BA629ADF";
const char kStillImageClsid[] = "{1FB895B8-BC8D-4701-9341-30AE0EC17B64}";
const char kProgram[] = "SnaporaDeviceConnect.exe";
const char kIcon[] = "NimbrelPhotosDeviceConnect.ico";
const char kStillImageText[] = "Import and view photos using Snapora";
const char* const kStillImageEventKinds[] = {"\\Connected\\", "\\ScanButton\\"};
const char* const kArrivalEvents[] = {"ShowPicturesOnArrival", "MixedContentOnArrival", "PlayVideoFilesOnArrival"};

// Texts of the registrations, each the key or value text in full; sizes count the terminator.
struct KeyPath {
  char text[kPathBufferSize * 2];
};

KeyPath MakeKey(const char* a, const char* b = "", const char* c = "") {
  KeyPath key;
  key.text[0] = '\0';
  lstrcpynA(key.text, a, sizeof key.text);
  size_t used = strlen(key.text);
  lstrcpynA(key.text + used, b, static_cast<int>(sizeof key.text - used));
  used = strlen(key.text);
  lstrcpynA(key.text + used, c, static_cast<int>(sizeof key.text - used));
  return key;
}

// The program's command and the icon's path in the extras folder; false when there is no
// folder or a path would not fit, so that nothing is registered with a broken path. The
// program's path is quoted: the shell runs the command as a command line, where a blank in an
// unquoted path would let a program at the part before it run instead.
bool MakeProgramTexts(const char* folder, const char* programSuffix, const char* handlerKind, HeapString* command,
                      char* icon) {
  if (!folder || !*folder) return false;
  char program[kPathBufferSize];
  JoinPath(folder, kProgram, program, sizeof program);
  JoinPath(folder, kIcon, icon, kPathBufferSize);
  if (!program[0] || !icon[0]) return false;
  if (!BuildQuotedCommand(program, programSuffix, command)) {
    const char* refusal = WhyProgramPathIsRefused(program);
    LogMessage(kLogError)
        .Text("Not registering the ")
        .Text(handlerKind)
        .Text(" handler for ")
        .Text(program)
        .Text(": the path ")
        .Text(refusal ? refusal : "could not be stored");
    return false;
  }
  return true;
}

void LogRegistrationFailure(const char* what, const char* key, LONG error) {
  LogMessage(kLogInfo).Text(what).Text(key).Text(" (error ").Unsigned(static_cast<unsigned long>(error)).Text(")");
}

bool IsGoodDeletion(LONG error) { return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND; }

// Deletes a value of an existing key; a key that cannot be opened is only logged.
bool DeleteValueOf(const char* keyPath, const char* name, const char* failureText) {
  ScopedRegKey key;
  LONG error = RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath, key.Receive());
  if (error != ERROR_SUCCESS) {
    if (error != ERROR_FILE_NOT_FOUND) LogInfo(failureText);
    return true;
  }
  error = RegDeleteValueA(key.Get(), name);
  if (IsGoodDeletion(error)) return true;
  LogInfo(failureText);
  return false;
}

bool DeleteTree(HKEY root, const char* keyPath, const char* failureText) {
  LONG error = SHDeleteKeyA(root, keyPath);
  if (IsGoodDeletion(error)) return true;
  LogInfo(failureText);
  return false;
}

}  // namespace

bool RegisterAutoplayHandler(const char* folder) {
  HeapString command;
  char icon[kPathBufferSize];
  if (!MakeProgramTexts(folder, " /Autoplay \"%1\"", "Autoplay", &command, icon)) {
    LogInfo("Autoplay handler not registered: no usable extras folder");
    return false;
  }

  KeyPath commandKey = MakeKey(kProgId, "\\shell\\open\\command");
  ScopedRegKey key;
  LONG error = RegCreateKeyA(HKEY_CLASSES_ROOT, commandKey.text, key.Receive());
  if (error != ERROR_SUCCESS) {
    LogRegistrationFailure("Autoplay registration failed: HKCR\\", commandKey.text, error);
    return false;
  }
  key.SetText("", command.Text());
  key.Close();

  KeyPath handlers = MakeKey(kAutoplayHandlers, "\\Handlers");
  ScopedRegKey parent;
  error = parent.Open(HKEY_LOCAL_MACHINE, handlers.text, KEY_READ);
  if (error != ERROR_SUCCESS) {
    LogRegistrationFailure("Autoplay registration failed: HKLM\\", handlers.text, error);
    return false;
  }
  error = RegCreateKeyA(parent.Get(), kHandlerName, key.Receive());
  parent.Close();
  if (error != ERROR_SUCCESS) {
    LogRegistrationFailure("Autoplay registration failed: HKLM\\", MakeKey(handlers.text, "\\", kHandlerName).text,
                           error);
    return false;
  }
  key.SetText("Action", "Import and view photos");
  key.SetText("DefaultIcon", icon);
  key.SetText("Provider", "Snapora");
  key.SetText("InvokeVerb", "open");
  key.SetText("InvokeProgID", kProgId);
  key.Close();

  for (const char* event : kArrivalEvents) {
    KeyPath eventKey = MakeKey(kAutoplayHandlers, "\\EventHandlers\\", event);
    error = RegOpenKeyA(HKEY_LOCAL_MACHINE, eventKey.text, key.Receive());
    if (error != ERROR_SUCCESS) {
      LogRegistrationFailure("Autoplay registration failed: HKLM\\", eventKey.text, error);
      return false;
    }
    key.SetText(kHandlerName, "");
    key.Close();
  }

  KeyPath cancel = MakeKey(kAutoplayHandlers, "\\CancelAutoplay\\CLSID");
  error = RegCreateKeyA(HKEY_LOCAL_MACHINE, cancel.text, key.Receive());
  if (error != ERROR_SUCCESS) {
    LogRegistrationFailure("Autoplay registration failed: HKLM\\", cancel.text, error);
    return false;
  }
  key.SetText(kCancelAutoplayClsid, "");
  return true;
}

bool RegisterStillImageHandler(const char* folder) {
  HeapString command;
  char icon[kPathBufferSize];
  if (!MakeProgramTexts(folder, " /WIA", "still-image", &command, icon)) {
    LogInfo("Still-image handler not registered: no usable extras folder");
    return false;
  }

  KeyPath server = MakeKey("CLSID\\", kStillImageClsid, "\\LocalServer32");
  ScopedRegKey key;
  LONG error = RegCreateKeyA(HKEY_CLASSES_ROOT, server.text, key.Receive());
  if (error != ERROR_SUCCESS) {
    LogRegistrationFailure("Still-image registration failed: HKCR\\", server.text, error);
    return false;
  }
  key.SetText("", command.Text());
  key.Close();

  for (const char* event : kStillImageEventKinds) {
    KeyPath eventKey = MakeKey(kStillImageEvents, event, kStillImageClsid);
    error = RegCreateKeyA(HKEY_LOCAL_MACHINE, eventKey.text, key.Receive());
    if (error != ERROR_SUCCESS) {
      LogRegistrationFailure("Still-image registration failed: HKLM\\", eventKey.text, error);
      return false;
    }
    key.SetText("CmdLine", command.Text());
    key.SetText("Desc", kStillImageText);
    key.SetText("Icon", icon);
    key.SetText("Name", kStillImageText);
    key.Close();
  }
  return true;
}

bool UnregisterAutoplayHandler() {
  bool result = true;
  result &= DeleteValueOf(MakeKey(kAutoplayHandlers, "\\CancelAutoplay\\CLSID").text, kCancelAutoplayClsid,
                          "Delete CancelAutoPlay Handler failed!");
  for (const char* event : kArrivalEvents) {
    KeyPath failure = MakeKey("Delete Handler reference, ", event, " failed!");
    result &= DeleteValueOf(MakeKey(kAutoplayHandlers, "\\EventHandlers\\", event).text, kHandlerName, failure.text);
  }

  ScopedRegKey handlers;
  LONG error = handlers.Open(HKEY_LOCAL_MACHINE, MakeKey(kAutoplayHandlers, "\\Handlers").text, KEY_READ);
  if (error == ERROR_SUCCESS) {
    error = RegDeleteKeyA(handlers.Get(), kHandlerName);
    if (!IsGoodDeletion(error)) {
      LogInfo("Delete Autoplay Handler failed!");
      result = false;
    }
  } else if (error != ERROR_FILE_NOT_FOUND) {
    LogInfo("Delete Autoplay Handler failed!");
  }
  handlers.Close();

  result &= DeleteTree(HKEY_CLASSES_ROOT, kProgId, "Delete Command failed!");
  return result;
}

bool UnregisterStillImageHandler() {
  bool result = true;
  result &= DeleteTree(HKEY_LOCAL_MACHINE, MakeKey(kStillImageEvents, "\\Connected\\", kStillImageClsid).text,
                       "Delete StillImage Connected Events entry failed!");
  result &= DeleteTree(HKEY_LOCAL_MACHINE, MakeKey(kStillImageEvents, "\\ScanButton\\", kStillImageClsid).text,
                       "Delete StillImage ScanButton Events entry failed!");
  result &= DeleteTree(HKEY_CLASSES_ROOT, MakeKey("CLSID\\", kStillImageClsid, "\\LocalServer32").text,
                       "Delete Command failed!");
  return result;
}
