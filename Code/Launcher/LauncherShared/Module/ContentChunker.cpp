#include "ContentChunker.h"

#include <algorithm>

namespace
{
// The gear table: 256 random 64-bit values, fixed for good (a change would cut
// every published file differently). splitmix64 from the seed 0.
constexpr uint64_t Gear[256] = {
    0xE220A8397B1DCDAFull, 0x6E789E6AA1B965F4ull, 0x06C45D188009454Full, 0xF88BB8A8724C81ECull,
    0x1B39896A51A8749Bull, 0x53CB9F0C747EA2EAull, 0x2C829ABE1F4532E1ull, 0xC584133AC916AB3Cull,
    0x3EE5789041C98AC3ull, 0xF3B8488C368CB0A6ull, 0x657EECDD3CB13D09ull, 0xC2D326E0055BDEF6ull,
    0x8621A03FE0BBDB7Bull, 0x8E1F7555983AA92Full, 0xB54E0F1600CC4D19ull, 0x84BB3F97971D80ABull,
    0x7D29825C75521255ull, 0xC3CF17102B7F7F86ull, 0x3466E9A083914F64ull, 0xD81A8D2B5A4485ACull,
    0xDB01602B100B9ED7ull, 0xA9038A921825F10Dull, 0xEDF5F1D90DCA2F6Aull, 0x54496AD67BD2634Cull,
    0xDD7C01D4F5407269ull, 0x935E82F1DB4C4F7Bull, 0x69B82EBC92233300ull, 0x40D29EB57DE1D510ull,
    0xA2F09DABB45C6316ull, 0xEE521D7A0F4D3872ull, 0xF16952EE72F3454Full, 0x377D35DEA8E40225ull,
    0x0C7DE8064963BAB0ull, 0x05582D37111AC529ull, 0xD254741F599DC6F7ull, 0x69630F7593D108C3ull,
    0x417EF96181DAA383ull, 0x3C3C41A3B43343A1ull, 0x6E19905DCBE531DFull, 0x4FA9FA7324851729ull,
    0x84EB4454A792922Aull, 0x134F7096918175CEull, 0x07DC930B302278A8ull, 0x12C015A97019E937ull,
    0xCC06C31652EBF438ull, 0xECEE65630A691E37ull, 0x3E84ECB1763E79ADull, 0x690ED476743AAE49ull,
    0x774615D7B1A1F2E1ull, 0x22B353F04F4F52DAull, 0xE3DDD86BA71A5EB1ull, 0xDF268ADEB6513356ull,
    0x2098EB73D4367D77ull, 0x03D6845323CE3C71ull, 0xC952C5620043C714ull, 0x9B196BCA844F1705ull,
    0x30260345DD9E0EC1ull, 0xCF448A5882BB9698ull, 0xF4A578DCCBC87656ull, 0xBFDEAED9A17B3C8Full,
    0xED79402D1D5C5D7Bull, 0x55F070AB1CBBF170ull, 0x3E00A34929A88F1Dull, 0xE255B237B8BB18FBull,
    0x2A7B67AF6C6AD50Eull, 0x466D5E7F3E46F143ull, 0x42375CB399A4FC72ull, 0x8C8A1F148A8BB259ull,
    0x32FCAB5DAED5BDFCull, 0x9E60398C8D8553C0ull, 0xEE89CCEB8C4064C0ull, 0xDB0215941D86A66Full,
    0x5CCDE78203C367A8ull, 0xF1BCBC6A1EC11786ull, 0xEF054FCEEE954551ull, 0xDF82012D0555C6DFull,
    0x292566FF72403C08ull, 0xC4DD302A1BFA1137ull, 0xD85F219DB5C554E1ull, 0x6A27FF807441BCD2ull,
    0x96A573E9B48216E8ull, 0x46A9FDAC40BF0048ull, 0x3DD12464A0EE15B4ull, 0x451E521296A7EEA1ull,
    0x56E4398A98F8A0FDull, 0x7B7DC2160E3335A7ull, 0xC679EE0BEBCB1CCAull, 0x928D6F2D7453424Eull,
    0x1B38994205234C6Dull, 0x8086D193A6F2B568ull, 0x21C6E26639AC2C65ull, 0xD9DCCAC414D23C6Full,
    0x91CD642057E00235ull, 0x77FC607DC6589373ull, 0x05B8ABE26DD3AEE7ull, 0x12F6436AC376CC66ull,
    0x64952424897B2307ull, 0xEE8C2BAF6343E5C3ull, 0xDC4C613D9EBA2304ull, 0x3505B7796BD1A506ull,
    0x8176DAF800A05F50ull, 0x8BD8FF7A0385CDBCull, 0x1A764A3CD78101DAull, 0xBE4D15BF6CA266ACull,
    0xA85E1F38BB2DC749ull, 0x56759A968493CD8Cull, 0xF3A9BCE7336BD182ull, 0x365B15013741519Bull,
    0x1F7A44A6B109AC94ull, 0x3521D628813CB177ull, 0x6A77AFAB0F7C9370ull, 0x179642D8CDE95015ull,
    0x5EF102A8FB354461ull, 0xF51C504764ED82F2ull, 0xC58427F041CE6808ull, 0xFAD8FC45C9643C37ull,
    0xCF8682F9A70FA9C0ull, 0x7E1B3B75A4005729ull, 0x992DD867927B52D8ull, 0x7FBD5DB142F6791Full,
    0x370595AACAB4ADAEull, 0xB1392DBDC5AB61D6ull, 0x9FEA7DFC79D452D9ull, 0x40B12B120085641Cull,
    0xA192AFE3157C85D0ull, 0xC847729F4E08F3A3ull, 0x6F1384A306C41FC2ull, 0x12D05C4045A39C19ull,
    0x9899202FD20F0841ull, 0xE9C7191857E774B8ull, 0x4EEAD809AF5B0CC3ull, 0xE809ACAFA23864A4ull,
    0x4DA1EDABA1D0F7BDull, 0x846EB9673349F8E4ull, 0x87BAE55B86039FE8ull, 0x7F367B8BD953EFF2ull,
    0x3884700F650D04E1ull, 0xBFE4B2AB46980CADull, 0xC5FC89075299106Cull, 0x37B2FA361ADEA7CDull,
    0x7D75D813F04895B4ull, 0x702F5B393F62C0E0ull, 0x0A3FC775F4ECF37Full, 0xE4B23787A352437Full,
    0xF83FA245C34D6363ull, 0xB99BCF040786CF50ull, 0x38B6EA0A0E6C9D8Aull, 0x093FDC76776E37E1ull,
    0x1A75E6F76BA7EEE8ull, 0x442CDCFEE9660C62ull, 0x22D58D35116B5E0Bull, 0x87D4A5180F6A3645ull,
    0x589FB216BD82131Bull, 0x91D031CAD319AEC0ull, 0xABECF76A553D320Bull, 0xB8686CB347612DCFull,
    0xFCAB66337C0A77F5ull, 0xAC318214381EC437ull, 0x6EB7F0FCA24494AEull, 0xCF42861DCDC895A9ull,
    0x4ABAD7A1586D7A91ull, 0xC21B318DC2F49745ull, 0xD49474DC2ACBD1F0ull, 0xB1D4873747C1C8E1ull,
    0x5434DC8C7D015BF6ull, 0xE1C486287511B6A9ull, 0xA8616DF62E89A193ull, 0x31CE6319498D8347ull,
    0xAFD0B486123D6FAAull, 0xE6495F5D102301EBull, 0x0DC51CED17A43C52ull, 0x8BCBCDE81355EF2Dull,
    0x2412AF73FDEE7CFCull, 0xC8D589E486E29EEDull, 0x23390E8664517F89ull, 0x251ADE58E8A6849Dull,
    0xF8555DBD2E8F9CB0ull, 0xCB417C3EEF54F7C3ull, 0x8028F8E1AAC3A919ull, 0x10E31052ACF748A0ull,
    0x2D886C073B1E1B78ull, 0x972974D90DF9FAEEull, 0xBC1B7B38796893BAull, 0x1958ED432070E652ull,
    0xCA5F297197A12DCCull, 0xE025A27375704F28ull, 0x418010A570A924FBull, 0x9828E2941BFC419Cull,
    0x4FBACD2F52B85C1Full, 0x33DD5B756211CC67ull, 0x23C8DFDD1DB57FF0ull, 0x32F81801A1A8E901ull,
    0x26884EAC5ADA36DAull, 0xCAA82F9BB42E37D4ull, 0x19FB1A7491D6A7D1ull, 0x5AA0243AA357F38Eull,
    0xB31D917809E447F0ull, 0x3F9C197225215BE0ull, 0xDC3C315A1E33C095ull, 0x3DD399AD533E80ACull,
    0x566F32CCE8301D95ull, 0xC880188083D9BA21ull, 0xB9CC357F3B0E7D2Eull, 0x0237D2123A8A8D6Cull,
    0xBF636E9AA7CBF6BDull, 0xD7BD4284C4E2A6A7ull, 0xDA2EBB47D50577A9ull, 0x90BA1C11B539087Dull,
    0x44993D31552B4F57ull, 0x32C2D6F80A8A8898ull, 0x450583ED7FB54B19ull, 0xEC2B0B09E50EF3EFull,
    0xD918A0B6E2EFD65Cull, 0xE37A868D9785F572ull, 0x7D1A6118F2B0F37Aull, 0x9E2E3CC13B343439ull,
    0xEFD82C11212E37E8ull, 0xAF89C05CD4FC75EDull, 0x55BC16BB9697108Eull, 0x6C4701FA5DB69BEEull,
    0x9237338441DAF445ull, 0x248CF0831E81A5FCull, 0xACC13557E77DE273ull, 0x520970C25E06513Aull,
    0x657329CB02987CABull, 0xA9B0B3366A4E55A8ull, 0xC4D06CA2F39ACDD4ull, 0x5DCE37D68170CDE1ull,
    0x5F1E44E77E1854C9ull, 0x6883D452D55DF899ull, 0x05C5BD62F1067032ull, 0xE680B683CE60FAB0ull,
    0x5DC9DA3F286D18B1ull, 0x94B4BF3AB85ED6D8ull, 0xCE65F449E3ACC5A3ull, 0x34B0209642CEA639ull,
    0xC14C3C771D904827ull, 0x6ADDCEE2BD9CDEE5ull, 0xE24EED137FFBB613ull, 0x75DD58EF79963D1Bull,
    0xFDB83ECF6CC24920ull, 0x7A1D0057C57169FBull, 0x339200F4FEB62D07ull, 0xD33F4D4AC88469F4ull,
    0x8226F234E68DFEE4ull, 0x320DEF4F2A105536ull, 0x7786F3B13AEFC159ull, 0xB28225AC9DF63EE2ull,
    0x781B9D0376CC6044ull, 0x05BD0115226C6AB6ull, 0xD302230207BDFDABull, 0xDB898ABD8E0D2933ull,
    0x9E79A397BA00B9CCull, 0x89DF84A5F0003EE8ull, 0x011F04F2A75FB9BEull, 0x5A5832BB47BCF19Eull,
};

// The top `bits` bits: the gear hash shifts one place a byte, so its top bit
// depends on the last 64 bytes and its bottom bit on the last one alone.
uint64_t TopBits(unsigned bits)
{
    return bits == 0 ? 0 : ~uint64_t(0) << (64 - bits);
}

unsigned Log2(uint32_t value)
{
    unsigned bits = 0;
    while (value > 1)
        value >>= 1, ++bits;
    return bits;
}

// Hashes bytes until one leaves the masked bits clear; the count taken, which
// includes that byte, or `length` when none did.
size_t ScanForCut(const uint8_t* data, size_t length, uint64_t mask, uint64_t& hash)
{
    uint64_t h = hash;
    for (size_t i = 0; i < length; ++i)
    {
        h = (h << 1) + Gear[data[i]];
        if ((h & mask) == 0)
        {
            hash = h;
            return i + 1;
        }
    }
    hash = h;
    return length;
}
} // namespace

bool AreUsableChunkSizes(const ChunkSizes& sizes)
{
    const bool powerOfTwo = sizes.Average != 0 && (sizes.Average & (sizes.Average - 1)) == 0;
    return powerOfTwo && sizes.Minimum >= 64 && sizes.Minimum <= sizes.Average &&
           sizes.Average <= sizes.Maximum && sizes.Maximum <= MaxChunkSize;
}

ContentChunker::ContentChunker(const ChunkSizes& sizes)
    : m_Sizes(AreUsableChunkSizes(sizes) ? sizes : ChunkSizes())
{
    const unsigned bits = Log2(m_Sizes.Average);
    m_StrictMask = TopBits(bits + 2);
    m_LooseMask = TopBits(bits > 2 ? bits - 2 : 0);
}

void ContentChunker::Update(const uint8_t* data, size_t length, std::vector<ChunkSpan>& chunks)
{
    while (length > 0)
    {
        size_t taken = 0;
        bool cut = false;
        if (m_Length < m_Sizes.Minimum)
        {
            // The hash only ever sees the last 64 bytes: the bytes before the
            // minimum cannot place a cut, so they are not hashed at all.
            taken = std::min<size_t>(length, m_Sizes.Minimum - m_Length);
        }
        else
        {
            const bool early = m_Length < m_Sizes.Average;
            const uint32_t limit = early ? m_Sizes.Average : m_Sizes.Maximum;
            const size_t span = std::min<size_t>(length, limit - m_Length);
            taken = ScanForCut(data, span, early ? m_StrictMask : m_LooseMask, m_Hash);
            cut = taken < span || (m_Hash & (early ? m_StrictMask : m_LooseMask)) == 0;
        }
        m_Length += static_cast<uint32_t>(taken);
        data += taken;
        length -= taken;
        if (cut || m_Length == m_Sizes.Maximum)
            EndChunk(chunks);
    }
}

void ContentChunker::Finish(std::vector<ChunkSpan>& chunks)
{
    if (m_Length > 0)
        EndChunk(chunks);
    m_Start = 0;
}

void ContentChunker::EndChunk(std::vector<ChunkSpan>& chunks)
{
    chunks.push_back({m_Start, m_Length});
    m_Start += m_Length;
    m_Length = 0;
    m_Hash = 0;
}

std::vector<ChunkSpan> ContentChunker::Cut(const uint8_t* data, size_t length, const ChunkSizes& sizes)
{
    std::vector<ChunkSpan> chunks;
    ContentChunker chunker(sizes);
    chunker.Update(data, length, chunks);
    chunker.Finish(chunks);
    return chunks;
}
