// Fuzz target: the running monitor's reading of a client's message.
#include "qvqsingletonapplication.h"
#include "vqfuzzinput.h"

VQ_FUZZ_TARGET(bytes)
{
    const auto command = QvqSingletonApplication::vqClientCommand(bytes);
    // Bytes past the first 100 never count.
    if (command != QvqSingletonApplication::vqClientCommand(bytes.left(100)))
        __builtin_trap();
    if (command == QvqSingletonApplication::vqClientExit && !bytes.left(100).contains("exit"))
        __builtin_trap();
}
