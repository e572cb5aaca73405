#include <gtest/gtest.h>

#include <cmath>

#include "model/data.h"
#include "model/globals.h"
#include "model/surface.h"
#include "model/vector.h"
#include "render/light.h"
#include "test_support.h"

namespace {

TEST(List, VisitsElementsInReverseOrderOfInsertion) {
    ObjectRecord* head = nullptr;
    ObjectRecord* a = allocateRecord();
    ObjectRecord* b = allocateRecord();
    ObjectRecord* c = allocateRecord();
    addToList(&head, a);
    addToList(&head, b);
    addToList(&head, c);

    EXPECT_EQ(head, c);
    EXPECT_EQ(c->next, b);
    EXPECT_EQ(b->next, a);
    EXPECT_EQ(a->next, nullptr);
    EXPECT_EQ(freeList(&head), 3);
    EXPECT_EQ(head, nullptr);
}

TEST(List, FreeingAnEmptyListReleasesNothing) {
    ObjectRecord* head = nullptr;
    EXPECT_EQ(freeList(&head), 0);
    EXPECT_EQ(head, nullptr);
}

TEST(Vector, NormalisesInPlace) {
    Vector3 v{3, 0, 4};
    VecNorm(v);
    EXPECT_DOUBLE_EQ(v.x, 0.6);
    EXPECT_DOUBLE_EQ(v.y, 0.0);
    EXPECT_DOUBLE_EQ(v.z, 0.8);
}

TEST(Vector, CrossProductIsRightHanded) {
    const Vector3 z = cross({1, 0, 0}, {0, 1, 0});
    EXPECT_EQ(z.x, 0);
    EXPECT_EQ(z.y, 0);
    EXPECT_EQ(z.z, 1);
}

// Objects given equal surfaces one after the other share one copy; another surface, or the
// first one again after it, gets a copy of its own.
TEST(Surface, ObjectsShareEqualSurfaces) {
    const Surface surface{.color = {0.1, 0.2, 0.3},
                          .ambient = 1,
                          .diffuse = 2,
                          .brilliance = 3,
                          .specular = 4,
                          .roughness = 5,
                          .reflection = 6,
                          .reflectionType = REFLECTION_FUZZY,
                          .reflectionSamples = 7,
                          .reflectionRadius = 8,
                          .refraction = 9,
                          .refractionIndex = 10};
    Surface other = surface;
    other.ambient = -0.0;  // equal to 0 by value, but not by its bits
    ObjectRecord first{}, second{}, third{}, fourth{};
    setSurfaceAttrib(first, surface);
    setSurfaceAttrib(second, surface);
    setSurfaceAttrib(third, other);
    setSurfaceAttrib(fourth, surface);
    expectSameSurface(*first.surface, surface);
    EXPECT_EQ(second.surface, first.surface);
    expectSameSurface(*third.surface, other);
    EXPECT_TRUE(std::signbit(third.surface->ambient));
    EXPECT_NE(fourth.surface, third.surface);
    expectSameSurface(*fourth.surface, surface);
}

class LightTest : public SceneTest {};

TEST_F(LightTest, MakeLightStoresItsValuesAndNormalisesTheAxis) {
    makeLight({1, 2, 3}, {0.5, 0.6, 0.7}, LIGHT_SPOT, ATTENUATION_D, SHADOW_SMOOTH, 0.25, 8, 0.9,
              0.8, {0, 0, -4});
    ASSERT_NE(myLightList, nullptr);
    const ObjectRecord& light = *myLightList;
    EXPECT_EQ(light.kind, KIND_LIGHT);
    EXPECT_EQ(dataOf<LightData>(light).color.g, 0.6);
    const LightData& data = dataOf<LightData>(light);
    EXPECT_EQ(data.position.z, 3);
    EXPECT_EQ(data.lightType, LIGHT_SPOT);
    EXPECT_EQ(data.attenuationType, ATTENUATION_D);
    EXPECT_EQ(data.shadowType, SHADOW_SMOOTH);
    EXPECT_EQ(data.lightRadius, 0.25);
    EXPECT_EQ(data.lightSamples, 8);
    EXPECT_EQ(data.cosMinAngle, 0.9);
    EXPECT_EQ(data.cosMaxAngle, 0.8);
    EXPECT_DOUBLE_EQ(data.direction.z, -1);
    EXPECT_EQ(nPrims, 0) << "lights are not primitives";
}

TEST_F(LightTest, AZeroAxisStaysZeroInsteadOfTurningIntoNaN) {
    makeLight({0, 0, 0}, {1, 1, 1}, LIGHT_POINT, ATTENUATION_NONE, SHADOW_SHARP, 0, 0, 1, 1,
              {0, 0, 0});
    const Vector3 axis = dataOf<LightData>(*myLightList).direction;
    EXPECT_EQ(axis.x, 0);
    EXPECT_EQ(axis.y, 0);
    EXPECT_EQ(axis.z, 0);
}

TEST_F(LightTest, LightsAreVisitedLastCreatedFirst) {
    makeLight({1, 0, 0}, {1, 1, 1}, LIGHT_POINT, 0, 0, 0, 0, 1, 1, {0, 0, -1});
    makeLight({2, 0, 0}, {1, 1, 1}, LIGHT_POINT, 0, 0, 0, 0, 1, 1, {0, 0, -1});
    ASSERT_NE(myLightList, nullptr);
    EXPECT_EQ(dataOf<LightData>(*myLightList).position.x, 2);
    ASSERT_NE(myLightList->next, nullptr);
    EXPECT_EQ(dataOf<LightData>(*myLightList->next).position.x, 1);
}

}  // namespace
