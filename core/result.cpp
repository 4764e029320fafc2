#include "core/result.h"

#include "core/image_block.h"

#include <cerrno>

namespace pictorand {

namespace {

bool isFileReason(Reason reason) { return reason >= Reason::NoSuchFile && reason <= Reason::NotAPicture; }

} // namespace

std::string failureText(const Failure& failure)
{
    if (!failure.detail.empty())
        return failure.detail;
    switch (failure.reason) {
    case Reason::OutOfMemory:
        return kCantAllocateMemory;
    case Reason::CantOpenFile:
        return kCantOpenFile;
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
        return kCantWriteFile;
    case Reason::BadArgument:
        return "Invalid value";
    case Reason::NoCodec:
        return "No reader or writer for this file type in this build";
    case Reason::DecoderFault:
        return "the decoder stopped";
    case Reason::NoSuchFile:
        return "No such file";
    case Reason::PermissionDenied:
        return "Permission denied";
    case Reason::IsFolder:
        return "Is a folder, not a file";
    case Reason::DiskFull:
        return "Disk full";
    case Reason::NotAPicture:
        return "Not a picture of any type this program reads";
    }
    return {};
}

std::string failureReasonText(const Failure& failure)
{
    return failureText(isFileReason(failure.reason) ? Failure{failure.reason, {}} : failure);
}

Failure cantOpenFile(const std::string& path) { return {Reason::CantOpenFile, std::string(kCantOpenFile) + ": " + path}; }

std::string cantCreateFileText(const std::string& path) { return std::string(kCantCreateFile) + ": " + path; }

Failure fileFailure(int errnoValue, Reason otherwise)
{
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR: // a folder on the way is a file
        return {Reason::NoSuchFile, {}};
    case EACCES:
    case EPERM:
        return {Reason::PermissionDenied, {}};
    case EISDIR:
        return {Reason::IsFolder, {}};
    case ENOSPC:
    case EDQUOT:
        return {Reason::DiskFull, {}};
    default:
        return {otherwise, {}};
    }
}

} // namespace pictorand
