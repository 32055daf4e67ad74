// littlecms's functions that colour management calls, forwarded to the library opened on the
// first picture that carries a profile, or the display's (see formats/lazy_library.h): a picture
// in sRGB, as most are, never needs it.
#include <lcms2.h>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary lcms2("Colour-managed", QUENDRA_LIBLCMS2_SONAME);
}  // namespace

// clang-format off
QUENDRA_FORWARD(lcms2, cmsToneCurve*, cmsBuildGamma, (cmsContext ContextID, cmsFloat64Number Gamma), (ContextID, Gamma))
QUENDRA_FORWARD(lcms2, cmsToneCurve*, cmsBuildParametricToneCurve, (cmsContext ContextID, cmsInt32Number Type, const cmsFloat64Number Params[]), (ContextID, Type, Params))
QUENDRA_FORWARD(lcms2, cmsBool, cmsCloseProfile, (cmsHPROFILE hProfile), (hProfile))
QUENDRA_FORWARD(lcms2, cmsHPROFILE, cmsCreateRGBProfile, (const cmsCIExyY* WhitePoint, const cmsCIExyYTRIPLE* Primaries, cmsToneCurve* const TransferFunction[3]), (WhitePoint, Primaries, TransferFunction))
QUENDRA_FORWARD(lcms2, cmsHTRANSFORM, cmsCreateTransform, (cmsHPROFILE Input, cmsUInt32Number InputFormat, cmsHPROFILE Output, cmsUInt32Number OutputFormat, cmsUInt32Number Intent, cmsUInt32Number dwFlags), (Input, InputFormat, Output, OutputFormat, Intent, dwFlags))
QUENDRA_FORWARD(lcms2, cmsHPROFILE, cmsCreate_sRGBProfile, (void), ())
QUENDRA_FORWARD(lcms2, void, cmsDeleteTransform, (cmsHTRANSFORM hTransform), (hTransform))
QUENDRA_FORWARD(lcms2, void, cmsDoTransform, (cmsHTRANSFORM Transform, const void * InputBuffer, void * OutputBuffer, cmsUInt32Number Size), (Transform, InputBuffer, OutputBuffer, Size))
QUENDRA_FORWARD(lcms2, cmsFloat32Number, cmsEvalToneCurveFloat, (const cmsToneCurve* Curve, cmsFloat32Number v), (Curve, v))
QUENDRA_FORWARD(lcms2, void, cmsFreeToneCurve, (cmsToneCurve* Curve), (Curve))
QUENDRA_FORWARD(lcms2, cmsColorSpaceSignature, cmsGetColorSpace, (cmsHPROFILE hProfile), (hProfile))
QUENDRA_FORWARD(lcms2, cmsProfileClassSignature, cmsGetDeviceClass, (cmsHPROFILE hProfile), (hProfile))
QUENDRA_FORWARD(lcms2, const cmsUInt16Number*, cmsGetToneCurveEstimatedTable, (const cmsToneCurve* t), (t))
QUENDRA_FORWARD(lcms2, cmsUInt32Number, cmsGetToneCurveEstimatedTableEntries, (const cmsToneCurve* t), (t))
QUENDRA_FORWARD(lcms2, cmsInt32Number, cmsGetToneCurveParametricType, (const cmsToneCurve* t), (t))
QUENDRA_FORWARD(lcms2, cmsFloat64Number*, cmsGetToneCurveParams, (const cmsToneCurve* t), (t))
QUENDRA_FORWARD(lcms2, cmsBool, cmsIsCLUT, (cmsHPROFILE hProfile, cmsUInt32Number Intent, cmsUInt32Number UsedDirection), (hProfile, Intent, UsedDirection))
QUENDRA_FORWARD(lcms2, cmsBool, cmsIsMatrixShaper, (cmsHPROFILE hProfile), (hProfile))
QUENDRA_FORWARD(lcms2, cmsHPROFILE, cmsOpenProfileFromMem, (const void * MemPtr, cmsUInt32Number dwSize), (MemPtr, dwSize))
QUENDRA_FORWARD(lcms2, void*, cmsReadTag, (cmsHPROFILE hProfile, cmsTagSignature sig), (hProfile, sig))
QUENDRA_FORWARD(lcms2, cmsToneCurve*, cmsReverseToneCurve, (const cmsToneCurve* InGamma), (InGamma))
QUENDRA_FORWARD(lcms2, void, cmsSetLogErrorHandler, (cmsLogErrorHandlerFunction Fn), (Fn))
// clang-format on
