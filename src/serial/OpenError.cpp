#include "serial/OpenError.h"

std::string OpenErrorText(OpenError reason, const std::string& systemText)
{
    switch (reason) {
    case OpenError::None:
        return {};
    case OpenError::NoSuchDevice:
        return "no such device";
    case OpenError::PermissionDenied:
        return "permission denied (join the group dialout: sudo usermod -aG dialout $USER, "
               "then log in again)";
    case OpenError::Busy:
        return "held by another program";
    case OpenError::NotSerialDevice:
        return "not a serial device";
    case OpenError::Refused:
        return "connection refused";
    case OpenError::HostNotFound:
        return "host not found";
    case OpenError::ConnectTimeout:
        return "no answer from the server within 3 s";
    case OpenError::CertificateRefused:
        return "the server's certificate is not valid (" + systemText
               + "; SERVO_TLS_CA may name the authority that signed it)";
    case OpenError::NoRfc2217:
        return "the server does not offer RFC 2217 (COM-PORT-OPTION)";
    case OpenError::ServerBusy:
        return "the server's device is busy (another connection holds it)"
               + (systemText.empty() ? std::string() : "; the server said \"" + systemText + "\"");
    case OpenError::Other:
        break;
    }
    return systemText.empty() ? std::string("cannot open") : systemText;
}
