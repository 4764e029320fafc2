#include "core/result.h"

#include "core/image_block.h"

namespace pictorand {

std::string failureText(const Failure& failure)
{
    if (!failure.detail.empty())
        return failure.detail;
    switch (failure.reason) {
    case Reason::OutOfMemory:
        return kCantAllocateMemory;
    case Reason::CantOpenFile:
        return "Can't open file";
    case Reason::NotThisFormat:
        return "Unsupported file type";
    case Reason::Truncated:
        return "Can't read file header";
    case Reason::BadDimensions:
        return "Invalid picture size";
    case Reason::BadHeader:
        return "Invalid file header";
    case Reason::Unsupported:
        return "Unsupported variant";
    case Reason::CorruptData:
        return "Decode error !";
    case Reason::WriteFailed:
        return "Can't write file";
    case Reason::BadArgument:
        return "Invalid value";
    case Reason::NoCodec:
        return "No reader or writer for this file type in this build";
    case Reason::DecoderFault:
        return "the decoder stopped";
    }
    return {};
}

} // namespace pictorand
