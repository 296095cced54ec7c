#include "app/Commands.h"

#include "app/ControlIds.h"
#include "app/FileCommands.h"
#include "app/InfoBoxes.h"
#include "app/Shutdown.h"
#include "app/ViewMenu.h"
#include "audio/Player.h"
#include "audio/Recorder.h"
#include "edit/EditCommands.h"

void OnCommand(WORD id) {
    if (HandleViewCommand(id)) return;
    switch (id) {
    case ID_RECORD_BUTTON: RecordCommand(); break;
    case ID_STOP_RECORD_BUTTON: StopRecordCommand(); break;
    case ID_PLAY_BUTTON: PlayCommand(); break;
    case ID_STOP_PLAY_BUTTON: StopPlayCommand(); break;
    case ID_CLEAR_LOG_BUTTON: ClearLogCommand(); break;
    case ID_PAUSE_BUTTON: PauseCommand(); break;
    case ID_CUT_BUTTON: CutCommand(); break;
    case IDM_HELP: break;  // no help exists; the item does nothing
    case IDM_ABOUT: ShowAboutBox(); break;
    case IDM_OPENGL_INFO: ShowOpenGlInfoBox(); break;
    case IDM_OPEN: OpenCommand(); break;
    case IDM_SAVE_AS: SaveAsCommand(); break;
    case IDM_EXIT: ShutdownApplication(); break;  // ends the process
    case IDM_VOLUME: VolumeCommand(); break;
    case IDM_CLIPPING: ClippingCommand(); break;
    default: break;
    }
}
