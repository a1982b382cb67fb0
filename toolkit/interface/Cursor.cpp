#include "Cursor.h"

BCursor::BCursor(BCursorID id) : fID(id == B_CURSOR_ID_I_BEAM ? id : B_CURSOR_ID_SYSTEM_DEFAULT) {}

namespace
{

const BCursor sDefault(B_CURSOR_ID_SYSTEM_DEFAULT);
const BCursor sIBeam(B_CURSOR_ID_I_BEAM);

} // namespace

const BCursor* B_CURSOR_SYSTEM_DEFAULT = &sDefault;
const BCursor* B_CURSOR_I_BEAM = &sIBeam;
