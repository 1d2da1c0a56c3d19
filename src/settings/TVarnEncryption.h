#pragma once

#include <QByteArray>
#include <QString>

// Password scrambler: turns a text into upper-case hexadecimal pairs and back with a
// key. Texts are handled as their UTF-8 bytes.
class TVarnEncryption {
public:
    enum TActionType { atEncryption = 0, atDecryption = 1 };

    QString Input;
    QString Output;
    QString Key;
    TActionType Action = atEncryption;

    // Throws EConvertError while unscrambling text that is not hexadecimal; Output
    // then keeps its previous value.
    void Execute();

    // The program's calling order in one step: empty in, empty out.
    QString Scramble(const QString& clear);
    QString Unscramble(const QString& stored);

    // The byte-level work behind Execute, with the current Key. A start below 0 draws
    // a random start value. UnscrambleBytes throws EConvertError like Execute.
    QByteArray ScrambleBytes(const QByteArray& clear, int start = -1) const;
    QByteArray UnscrambleBytes(const QString& stored) const;
};
