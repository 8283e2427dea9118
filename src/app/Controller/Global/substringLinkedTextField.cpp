#include "Controller/Global/substringLinkedTextField.h"

#include <QUrl>

#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/cursor.h"

substringLinkedTextField::substringLinkedTextField(const qrn::Rect& frame) : TextField(frame) {
    setEditable(false);
    setBordered(false);
    setDrawsBackground(false);
}

void substringLinkedTextField::setLink(std::string v) {
    link_ = std::move(v);
    setNeedsDisplay();
}

void substringLinkedTextField::setLinkText(std::string v) {
    linkText_ = std::move(v);
    setNeedsDisplay();
}

void substringLinkedTextField::awakeFromNib() {
    QRN_LOG_IN();
    addTrackingArea(bounds(), qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow |
                                  qrn::ui::TrackingInVisibleRect);
    setAllowsEditingTextAttributes(true);
    setSelectable(true);

    const QUrl url(QString::fromStdString(link_), QUrl::StrictMode);
    const bool valid = url.isValid() && !url.isRelative();
    // Rebuilt from the plain text: only the linked range carries an attribute.
    qrn::AttributedString text(stringValue());
    std::optional<qrn::TextRange> range;
    if (linkText_.empty())
        range = text.wholeRange();
    else
        range = text.find(QString::fromStdString(linkText_));
    // A link text that does not occur links nothing; the text stays plain.
    if (range && range->length > 0) {
        qrn::TextAttributes attributes;
        attributes.link = valid ? url.toString().toStdString() : std::string();
        text.setAttributes(attributes, *range);
    }
    setAttributedStringValue(text);
}

void substringLinkedTextField::mouseEntered(const qrn::ui::Event&) {
    QRN_LOG_IN();
    qrn::ui::Cursor::set(qrn::ui::CursorShape::PointingHand);
}

void substringLinkedTextField::mouseExited(const qrn::ui::Event&) {
    QRN_LOG_IN();
    qrn::ui::Cursor::set(qrn::ui::CursorShape::Arrow);
}
