#include "errors.h"

#include "c4dll.h"

namespace talvex::engine {

const char* errorGeneralText(int code) {
  switch (code) {
    case r4success: return "";
    case r4bof: return "Beginning of file";
    case r4after: return "Key not found";
    case r4eof: return "End of file";
    case r4unique: return "Duplicate key in a unique tag";
    case r4locked: return "Locked by another user";
    case e4open: return "File could not be opened";
    case e4read: return "Read error";
    case e4write: return "Write error";
    case e4data: return "Not a valid data file";
    case e4memo: return "Memo file error";
    case e4index: return "Index file error";
    case e4expr: return "Expression error";
    case e4field: return "Field error";
    case e4tag: return "Tag error";
    case e4handle: return "Invalid handle";
    case e4parm: return "Invalid parameter";
    case e4record: return "Invalid record number";
    case e4lock: return "Lock error";
    case e4memory: return "Out of memory";
    case e4create: return "Create error";
    case e4exclusive: return "File is in use by another user";
    default: return code < 0 ? "Engine error" : "Engine result";
  }
}

int setError(ErrorState& state, int code, std::string detail) {
  state.code = code;
  state.lastCode = code;
  state.detail = std::move(detail);
  return code;
}

ErrorState& orphanErrorState() {
  static ErrorState state;
  return state;
}

}  // namespace talvex::engine
