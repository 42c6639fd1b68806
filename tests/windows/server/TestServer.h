#pragma once

// A stand-in for MapInfo Professional's automation object on Windows, for the link's tests: an
// IDispatch with the one method "do" that writes down every statement and fails on cue, served from
// a local server (.exe), as MapInfo's object is.
//
// What it writes, one line per event, UTF-8, to the file named by the environment variable
// VANTERO_TEST_SERVER_RECORD as it was when the object was created (nothing when unset):
//   created <tab> process id
//   lookup <tab> name              every GetIDsOfNames
//   do <tab> statement             every accepted call of "do"
//   released                       the last reference went
//
// Cue words, anywhere in a statement, in any letter case:
//   failwithtext     DISP_E_EXCEPTION, a description ending in blanks, periods and a CR LF
//   failwithcode     DISP_E_EXCEPTION, no description, scode E_ACCESSDENIED
//   failblank        DISP_E_EXCEPTION, a description of blanks and periods only, scode
//                    E_ACCESSDENIED
//   failunknowncode  DISP_E_EXCEPTION, no description, an scode without system text (0x80041234)
//   failwcode        DISP_E_EXCEPTION, no description, wCode 1001 and no scode
//   faildeferredraw  DISP_E_EXCEPTION, everything left to pfnDeferredFillIn, which is not filled in
//                    before the reply as Windows' marshaller would
//   exitnow          the process ends in the middle of the call
//   exitafter        the call succeeds, then the process ends

#include <windows.h>

namespace vantero::testserver {

// "MapInfo.Application" as the tests register it: the local server.
inline constexpr CLSID kLocalClsid = {
    0x6d1c3a57, 0x0f42, 0x4c1e, {0x9a, 0x3b, 0x51, 0x7e, 0x20, 0xc4, 0x8d, 0x11}};
// The same object with no "do" method, from the local server.
inline constexpr CLSID kNoDoClsid = {
    0x6d1c3a57, 0x0f42, 0x4c1e, {0x9a, 0x3b, 0x51, 0x7e, 0x20, 0xc4, 0x8d, 0x12}};

inline constexpr wchar_t kRecordVariable[] = L"VANTERO_TEST_SERVER_RECORD";

enum class Kind { Recording, NoDoMethod };

struct Host {
    // Called on the thread of the call when the last object and lock have gone.
    void (*lastReleased)();
    // Called when a call has asked for the process to end after it.
    void (*exitRequested)();
};

// Set once by the host before any class object is handed out.
void SetHost(const Host& host);

// A new class object (one reference) that makes objects of the kind.
IClassFactory* NewClassFactory(Kind kind);

} // namespace vantero::testserver
