#import <AppKit/AppKit.h>

@interface ScreenSaverView : NSView {
 @private
  NSTimer* _animationTimer;
  NSTimeInterval _animationTimeInterval;
  BOOL _isPreview;
}

+ (NSBackingStoreType)backingStoreType;
+ (BOOL)performGammaFade;

- (instancetype)initWithFrame:(NSRect)frame isPreview:(BOOL)isPreview;

- (NSTimeInterval)animationTimeInterval;
- (void)setAnimationTimeInterval:(NSTimeInterval)animationTimeInterval;

- (void)startAnimation;
- (void)stopAnimation;
- (BOOL)isAnimating;

- (void)drawRect:(NSRect)rect;
- (void)animateOneFrame;

- (BOOL)hasConfigureSheet;
- (NSWindow*)configureSheet;

- (BOOL)isPreview;
@end
