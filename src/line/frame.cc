#include <algorithm>

#include "line/line.h"
#include "station/station.h"
#include "wire/codec.h"

namespace kavelin2 {

Io SendFrame(Station& st) {
  LineEntry& line = st.Line();
  if (st.Ports.line[st.CurrentLine].IRDA == 'O') st.clock.SleepMs(10);
  if (line.FrameChecked != 0) {
    // ETX and BCC must still fit the buffer.
    int32_t length = std::clamp<int32_t>(line.FrameLength, 1, kFrameBufferSize - 2);
    line.FrameBuffer[length] = ETX;
    line.FrameBuffer[length + 1] = FrameBcc(line.FrameBuffer + 1, static_cast<size_t>(length - 1));
    return WriteBytes(st, line.FrameBuffer, static_cast<size_t>(length) + 2);
  }
  int32_t length = std::clamp<int32_t>(line.FrameLength, 0, kFrameBufferSize);
  return WriteBytes(st, line.FrameBuffer, static_cast<size_t>(length));
}

}  // namespace kavelin2
