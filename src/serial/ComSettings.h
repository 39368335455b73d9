#pragma once
// The port's four settings objects. Each belongs to one port (its back reference); a field
// setter stores a changed value and asks the port to apply its group. Assign copies every
// field directly, without the setters (the port's own setter then applies the group once).

#include "serial/ComTypes.h"

#include <cstdint>

class TCustomComPort;

class TComParity {
public:
    explicit TComParity(TCustomComPort* owner = nullptr)
        : owner_(owner)
    {
    }
    TComParity(const TComParity&) = delete;
    TComParity& operator=(const TComParity&) = delete;
    void Assign(const TComParity& source);

    TParityBits Bits() const { return bits_; }
    bool Check() const { return check_; }
    bool Replace() const { return replace_; }
    char ReplaceChar() const { return replaceChar_; }
    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(char value);

private:
    void changed();
    TCustomComPort* owner_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort* owner = nullptr)
        : owner_(owner)
    {
    }
    TComFlowControl(const TComFlowControl&) = delete;
    TComFlowControl& operator=(const TComFlowControl&) = delete;
    void Assign(const TComFlowControl& source);

    bool OutCTSFlow() const { return outCTSFlow_; }
    bool OutDSRFlow() const { return outDSRFlow_; }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    char XonChar() const { return xonChar_; }
    char XoffChar() const { return xoffChar_; }
    // Preset view, computed from ControlRTS, OutCTSFlow, XonXoffIn and XonXoffOut.
    TFlowControl FlowControl() const;

    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(char value);
    void SetXoffChar(char value);
    // Always applies line settings, also for an equal value and for fcCustom.
    void SetFlowControl(TFlowControl value);

private:
    void changed();
    TCustomComPort* owner_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort* owner = nullptr)
        : owner_(owner)
    {
    }
    TComTimeouts(const TComTimeouts&) = delete;
    TComTimeouts& operator=(const TComTimeouts&) = delete;
    void Assign(const TComTimeouts& source);

    int32_t ReadInterval() const { return readInterval_; }
    int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    int32_t ReadTotalConstant() const { return readTotalConstant_; }
    int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetReadInterval(int32_t value);
    void SetReadTotalMultiplier(int32_t value);
    void SetReadTotalConstant(int32_t value);
    void SetWriteTotalMultiplier(int32_t value);
    void SetWriteTotalConstant(int32_t value);

private:
    void changed();
    void set(int32_t& field, int32_t value);
    TCustomComPort* owner_;
    int32_t readInterval_ = -1;
    int32_t readTotalMultiplier_ = 0;
    int32_t readTotalConstant_ = 0;
    int32_t writeTotalMultiplier_ = 100;
    int32_t writeTotalConstant_ = 1000;
};

class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort* owner = nullptr)
        : owner_(owner)
    {
    }
    TComBuffer(const TComBuffer&) = delete;
    TComBuffer& operator=(const TComBuffer&) = delete;
    void Assign(const TComBuffer& source);

    int32_t InputSize() const { return inputSize_; }
    int32_t OutputSize() const { return outputSize_; }
    // A positive odd size is stored one lower; equality is checked before that.
    void SetInputSize(int32_t value);
    void SetOutputSize(int32_t value);

private:
    void set(int32_t& field, int32_t value);
    TCustomComPort* owner_;
    int32_t inputSize_ = 1024;
    int32_t outputSize_ = 1024;
};
