#include "app/codec_change.h"

#include "app/engine/option_sets.h"

#include <QCheckBox>
#include <QComboBox>

namespace app {

QStringList entryTexts(const QComboBox& box) {
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts.append(box.itemText(i));
    return texts;
}

void refill(QComboBox& box, const QStringList& entries, const QString& text) {
    box.clear();
    box.addItems(entries);
    box.setEditText(text);
}

void CodecChange(OptionWidgets& widgets) {
    const QString rememberedBitrate = widgets.Bitrate.currentText();
    const encode::EncoderDescription* encoder =
        recognisedCodec(widgets.Codec.currentText(), entryTexts(widgets.Codec));
    if (!encoder)
        return;
    const ChosenOptions chosen = optionsOnChoice(*encoder, rememberedBitrate);

    refill(widgets.Mode, encoder->modeTexts(), chosen.mode);

    refill(widgets.Layer, encoder->layerTexts(), chosen.layer);
    widgets.Layer.setEnabled(encoder->layerChoice);

    if (!encoder->showEncoderChoice)
        widgets.showenc.setChecked(false);
    widgets.showenc.setEnabled(encoder->showEncoderChoice);

    refill(widgets.Bitrate, encoder->rateTexts(), chosen.bitrate);
}

} // namespace app
