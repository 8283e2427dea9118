#include "Controller/Global/throwClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/alerts.h"

qrnError throwClass::error(const std::string& message) {
    QRN_LOG_IN(LogValues{{"throwMessage", message}});
    qrnError err(message);
    QRN_LOG_OUT(LogValues{{"error", "Error Domain=" + err.domain + " Code=" + std::to_string(err.code) +
                                        " \"" + message + "\""}});
    return err;
}

void throwClass::showError(const std::string& errorMessage) {
    QRN_LOG_IN(LogValues{{"throwMessage", errorMessage}});
    QRN_LOG_OUT();
    qrn::showModalAlert(errorMessage);
}
