// Fuzz target: the running monitor's reading of a client's message.
#include "qvqsingletonapplication.h"
#include "vqfuzzinput.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CvqFuzzInput input(data, size);
    const QByteArray bytes = input.bytes();
    const auto command = QvqSingletonApplication::vqClientCommand(bytes);
    // Bytes past the first 100 never count.
    if (command != QvqSingletonApplication::vqClientCommand(bytes.left(100)))
        __builtin_trap();
    if (command == QvqSingletonApplication::vqClientExit && !bytes.left(100).contains("exit"))
        __builtin_trap();
    return 0;
}
