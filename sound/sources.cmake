# sound/: the in-memory sound (a chain of fragments), its sample arithmetic
# and the walks every reader of it steps across fragments with, the WAV
# reader and writer. Platform-free, and a library of its own: the detailed
# graph's engine and its tests build on it alone.
set(SOUND_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SoundChain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Narration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileIo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WavReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WavWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecoveryCopy.cpp
)
