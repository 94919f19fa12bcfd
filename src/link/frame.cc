#include <algorithm>

#include "station/station.h"
#include "link/link.h"
#include "protocol/codec.h"

namespace kavelin2 {

void SendFrame(Station& st) {
  LineEntry& line = st.Line();
  if (st.Ports.line[st.CurrentLine].IRDA == 'O') st.clock.SleepMs(10);
  if (line.FrameChecked != 0) {
    // ETX and BCC must still fit the buffer.
    int32_t length = std::clamp<int32_t>(line.FrameLength, 1, kFrameBufferSize - 2);
    line.FrameBuffer[length] = ETX;
    line.FrameBuffer[length + 1] = FrameBcc(line.FrameBuffer + 1, static_cast<size_t>(length - 1));
    WriteBytes(st, line.FrameBuffer, static_cast<size_t>(length) + 2);
  } else {
    int32_t length = std::clamp<int32_t>(line.FrameLength, 0, kFrameBufferSize);
    WriteBytes(st, line.FrameBuffer, static_cast<size_t>(length));
  }
}

}  // namespace kavelin2
