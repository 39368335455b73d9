#include "serial/ComSettings.h"

#include "serial/ComPort.h"

// --- TComParity ------------------------------------------------------------------------

void TComParity::Assign(const TComParity& source)
{
    bits_ = source.bits_;
    check_ = source.check_;
    replace_ = source.replace_;
    replaceChar_ = source.replaceChar_;
}

void TComParity::changed()
{
    if (owner_)
        owner_->ApplyLineSettings();
}

void TComParity::SetBits(TParityBits value)
{
    if (value != bits_) {
        bits_ = value;
        changed();
    }
}

void TComParity::SetCheck(bool value)
{
    if (value != check_) {
        check_ = value;
        changed();
    }
}

void TComParity::SetReplace(bool value)
{
    if (value != replace_) {
        replace_ = value;
        changed();
    }
}

void TComParity::SetReplaceChar(char value)
{
    if (value != replaceChar_) {
        replaceChar_ = value;
        changed();
    }
}

// --- TComFlowControl -------------------------------------------------------------------

void TComFlowControl::Assign(const TComFlowControl& source)
{
    outCTSFlow_ = source.outCTSFlow_;
    outDSRFlow_ = source.outDSRFlow_;
    controlDTR_ = source.controlDTR_;
    controlRTS_ = source.controlRTS_;
    xonXoffOut_ = source.xonXoffOut_;
    xonXoffIn_ = source.xonXoffIn_;
    dsrSensitivity_ = source.dsrSensitivity_;
    txContinueOnXoff_ = source.txContinueOnXoff_;
    xonChar_ = source.xonChar_;
    xoffChar_ = source.xoffChar_;
}

void TComFlowControl::changed()
{
    if (owner_)
        owner_->ApplyLineSettings();
}

namespace {
template <typename T> bool store(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

void TComFlowControl::SetOutCTSFlow(bool value)
{
    if (store(outCTSFlow_, value))
        changed();
}
void TComFlowControl::SetOutDSRFlow(bool value)
{
    if (store(outDSRFlow_, value))
        changed();
}
void TComFlowControl::SetControlDTR(TDTRFlowControl value)
{
    if (store(controlDTR_, value))
        changed();
}
void TComFlowControl::SetControlRTS(TRTSFlowControl value)
{
    if (store(controlRTS_, value))
        changed();
}
void TComFlowControl::SetXonXoffOut(bool value)
{
    if (store(xonXoffOut_, value))
        changed();
}
void TComFlowControl::SetXonXoffIn(bool value)
{
    if (store(xonXoffIn_, value))
        changed();
}
void TComFlowControl::SetDSRSensitivity(bool value)
{
    if (store(dsrSensitivity_, value))
        changed();
}
void TComFlowControl::SetTxContinueOnXoff(bool value)
{
    if (store(txContinueOnXoff_, value))
        changed();
}
void TComFlowControl::SetXonChar(char value)
{
    if (store(xonChar_, value))
        changed();
}
void TComFlowControl::SetXoffChar(char value)
{
    if (store(xoffChar_, value))
        changed();
}

TFlowControl TComFlowControl::FlowControl() const
{
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (value == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    changed();
}

// --- TComTimeouts ----------------------------------------------------------------------

void TComTimeouts::Assign(const TComTimeouts& source)
{
    readInterval_ = source.readInterval_;
    readTotalMultiplier_ = source.readTotalMultiplier_;
    readTotalConstant_ = source.readTotalConstant_;
    writeTotalMultiplier_ = source.writeTotalMultiplier_;
    writeTotalConstant_ = source.writeTotalConstant_;
}

void TComTimeouts::changed()
{
    if (owner_)
        owner_->ApplyTimeoutSettings();
}

void TComTimeouts::set(int32_t& field, int32_t value)
{
    if (store(field, value))
        changed();
}

void TComTimeouts::SetReadInterval(int32_t value)
{
    set(readInterval_, value);
}
void TComTimeouts::SetReadTotalMultiplier(int32_t value)
{
    set(readTotalMultiplier_, value);
}
void TComTimeouts::SetReadTotalConstant(int32_t value)
{
    set(readTotalConstant_, value);
}
void TComTimeouts::SetWriteTotalMultiplier(int32_t value)
{
    set(writeTotalMultiplier_, value);
}
void TComTimeouts::SetWriteTotalConstant(int32_t value)
{
    set(writeTotalConstant_, value);
}

// --- TComBuffer ------------------------------------------------------------------------

void TComBuffer::Assign(const TComBuffer& source)
{
    inputSize_ = source.inputSize_;
    outputSize_ = source.outputSize_;
}

void TComBuffer::set(int32_t& field, int32_t value)
{
    if (field == value)
        return;
    field = value > 0 && value % 2 == 1 ? value - 1 : value;
    if (owner_)
        owner_->ApplyBufferSizes();
}

void TComBuffer::SetInputSize(int32_t value)
{
    set(inputSize_, value);
}
void TComBuffer::SetOutputSize(int32_t value)
{
    set(outputSize_, value);
}
