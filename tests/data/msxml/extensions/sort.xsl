<?xml version="1.0"?>
<!-- xsl:sort as the original platform orders text: by language, upper case first, hyphens not
     counted ("30a-allow" before "30-allow"); numbers by the key's type without data-type. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:call-template name="list"><xsl:with-param name="title" select="'en'"/><xsl:with-param name="lang" select="'en'"/></xsl:call-template>
    <xsl:text>lower-first:</xsl:text>
    <xsl:for-each select="//name">
      <xsl:sort select="." lang="en" case-order="lower-first"/>
      <xsl:value-of select="concat(' ', .)"/>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
    <xsl:call-template name="list"><xsl:with-param name="title" select="'sv'"/><xsl:with-param name="lang" select="'sv'"/></xsl:call-template>
    <xsl:text>descending:</xsl:text>
    <xsl:for-each select="//name[starts-with(translate(., 'C', 'c'), 'c')]">
      <xsl:sort select="." lang="en" order="descending"/>
      <xsl:value-of select="concat(' ', .)"/>
    </xsl:for-each>
    <xsl:text>&#10;numbers by type:</xsl:text>
    <xsl:for-each select="//n">
      <xsl:sort select="number(.)"/>
      <xsl:value-of select="concat(' ', .)"/>
    </xsl:for-each>
    <xsl:text>&#10;numbers as text:</xsl:text>
    <xsl:for-each select="//n">
      <xsl:sort select="." data-type="text"/>
      <xsl:value-of select="concat(' ', .)"/>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>
  <xsl:template name="list">
    <xsl:param name="title"/>
    <xsl:param name="lang"/>
    <xsl:value-of select="concat($title, ':')"/>
    <xsl:for-each select="//name">
      <xsl:sort select="." lang="{$lang}"/>
      <xsl:value-of select="concat(' ', .)"/>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>
</xsl:stylesheet>
