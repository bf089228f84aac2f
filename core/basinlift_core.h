// The whole core: extraction, ordering, segmentation and enhancement of one channel.
#pragma once

#include "channel_copy.h"
#include "enhance_channel.h"
#include "plane_view.h"
#include "sort_pixels.h"
#include "watershed.h"
