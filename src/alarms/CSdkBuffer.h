// A picture buffer of the video library, freed with its own free call
// whichever thread or path lets go of it last.
#pragma once

class CSdkBuffer
{
public:
    CSdkBuffer(char* pData, int nLen) : m_pData(pData), m_nLen(nLen) {}
    ~CSdkBuffer();
    CSdkBuffer(const CSdkBuffer&) = delete;
    CSdkBuffer& operator=(const CSdkBuffer&) = delete;

    char* Data() const { return m_pData; }
    int Length() const { return m_nLen; }
    // Hands the buffer over; the new owner frees it.
    char* Release();

private:
    char* m_pData;
    int m_nLen;
};
