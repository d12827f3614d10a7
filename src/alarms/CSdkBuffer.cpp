#include "alarms/CSdkBuffer.h"

#include "playback/CVideoSdk.h"

CSdkBuffer::~CSdkBuffer()
{
    if (m_pData) {
        CVideoSdk::instance()->DataFree(m_pData);
    }
}

char* CSdkBuffer::Release()
{
    char* pData = m_pData;
    m_pData = nullptr;
    m_nLen = 0;
    return pData;
}
