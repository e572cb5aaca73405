#include <gtest/gtest.h>

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

TEST(Surface, CopiesEveryAttribute) {
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
    ObjectRecord object{};
    setSurfaceAttrib(object, surface);
    EXPECT_EQ(object.color.r, 0.1);
    EXPECT_EQ(object.color.g, 0.2);
    EXPECT_EQ(object.color.b, 0.3);
    EXPECT_EQ(object.ambient, 1);
    EXPECT_EQ(object.diffuse, 2);
    EXPECT_EQ(object.brilliance, 3);
    EXPECT_EQ(object.specular, 4);
    EXPECT_EQ(object.roughness, 5);
    EXPECT_EQ(object.reflection, 6);
    EXPECT_EQ(object.reflectionType, REFLECTION_FUZZY);
    EXPECT_EQ(object.reflectionSamples, 7);
    EXPECT_EQ(object.reflectionRadius, 8);
    EXPECT_EQ(object.refraction, 9);
    EXPECT_EQ(object.refractionIndex, 10);
}

class LightTest : public SceneTest {};

TEST_F(LightTest, MakeLightStoresItsValuesAndNormalisesTheAxis) {
    makeLight({1, 2, 3}, {0.5, 0.6, 0.7}, LIGHT_SPOT, ATTENUATION_D, SHADOW_SMOOTH, 0.25, 8, 0.9,
              0.8, {0, 0, -4});
    ASSERT_NE(myLightList, nullptr);
    const ObjectRecord& light = *myLightList;
    EXPECT_EQ(light.kind, KIND_LIGHT);
    EXPECT_EQ(light.color.g, 0.6);
    const LightData& data = light.data.light;
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
    const Vector3 axis = myLightList->data.light.direction;
    EXPECT_EQ(axis.x, 0);
    EXPECT_EQ(axis.y, 0);
    EXPECT_EQ(axis.z, 0);
}

TEST_F(LightTest, LightsAreVisitedLastCreatedFirst) {
    makeLight({1, 0, 0}, {1, 1, 1}, LIGHT_POINT, 0, 0, 0, 0, 1, 1, {0, 0, -1});
    makeLight({2, 0, 0}, {1, 1, 1}, LIGHT_POINT, 0, 0, 0, 0, 1, 1, {0, 0, -1});
    ASSERT_NE(myLightList, nullptr);
    EXPECT_EQ(myLightList->data.light.position.x, 2);
    ASSERT_NE(myLightList->next, nullptr);
    EXPECT_EQ(myLightList->next->data.light.position.x, 1);
}

}  // namespace
